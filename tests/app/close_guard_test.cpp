// Closing the window never loses captured rows unasked: the question about
// unsaved rows and its three answers, a log already kept, and a save still
// running when the window closes (waited for, or cancelled).
#include "app/capture_load.h"
#include "app/close_guard.h"
#include "app/main_window.h"
#include "session/recording_sink.h"
#include "app/log_save_command.h"
#include "app/main_toolbar.h"
#include "log/log_write_job.h"
#include "log/packet_log_model.h"
#include "tests/app/program_fixture.h"
#include "tests/support/pty_pair.h"
#include "tools/traffic/modbus_frames.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <atomic>
#include <thread>

namespace tessaly::test {
namespace {

class CloseGuardTest : public ProgramTest {
 protected:
  void SetUp() override {
    StartProgram();
    Window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
  }
  void TearDown() override {
    LogWriteJob::beforeEachPiece = nullptr;
    ProgramTest::TearDown();
  }

  void LogPackets(int count) {
    const std::uint8_t bytes[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
    for (int i = 0; i < count; ++i) Window().Log().AppendPacket(bytes, sizeof bytes, WallClockNow());
    Window().Log().AnnouncePackets();
  }
  QString PathOf(const char* name) const {
    return QString::fromStdString((storeFolder_.Path() / name).string());
  }

  // Answers the next message box by the button with this text; records the
  // box's object name. A file dialog that follows is given path.
  void Answer(const QString& button, const QString& path = {}) {
    answerer_ = std::make_unique<QTimer>();
    answerer_->setInterval(10);
    QObject::connect(answerer_.get(), &QTimer::timeout, [this, button, path] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && asked_.isEmpty()) {
        asked_ = box->objectName();
        askedText_ = box->text() + u'\n' + box->informativeText();
        for (QAbstractButton* candidate : box->buttons()) {
          if (candidate->text() == button) candidate->click();
        }
      } else if (auto* files = qobject_cast<QFileDialog*>(modal); files != nullptr) {
        if (path.isEmpty()) {
          files->reject();
        } else {
          files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);  // typed
          static_cast<QDialog*>(files)->accept();  // QFileDialog hides it
        }
      }
    });
    asked_.clear();
    answerer_->start();
  }

  // Holds every save before its first piece until released.
  void HoldSaves() {
    LogWriteJob::beforeEachPiece = [this] {
      while (!released_) std::this_thread::yield();
    };
  }

  std::unique_ptr<QTimer> answerer_;
  QString asked_;
  QString askedText_;
  std::atomic<bool> released_ = false;
};

TEST_F(CloseGuardTest, UnsavedRows_CancelStays_SaveWritesThenCloses_KeptLogClosesUnasked) {
  LogPackets(3);
  Answer(QStringLiteral("Cancel"));
  EXPECT_FALSE(Window().close());
  EXPECT_EQ(asked_, QStringLiteral("UnsavedLogQuestion"));
  EXPECT_TRUE(Window().isVisible());

  Answer(QStringLiteral("&Save..."));  // and then no file chosen
  EXPECT_FALSE(Window().close());
  EXPECT_TRUE(Window().isVisible());

  const QString path = PathOf("kept.txt");
  Answer(QStringLiteral("&Save..."), path);
  EXPECT_FALSE(Window().close()) << "closes once the file is written";
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Window().isVisible(); }, 30'000));
  EXPECT_GT(QFileInfo(path).size(), 0);
  EXPECT_EQ(Window().Closing().KeptIn(), path);

  // Saved and nothing since: no question. One more row: asked again.
  Window().show();
  answerer_.reset();
  EXPECT_TRUE(Window().close());
  Window().show();
  LogPackets(1);
  Answer(QStringLiteral("&Discard"));
  EXPECT_TRUE(Window().close());
  EXPECT_EQ(asked_, QStringLiteral("UnsavedLogQuestion"));
}

// A live capture is recorded to a file as it comes: closing names the file
// and what the folder's budget may do to it, and keeps it, saves it
// elsewhere or stays; capture ends and the file holds every packet. A row
// the file does not hold (here one put in the log by hand) brings the
// question about unsaved rows back.
TEST_F(CloseGuardTest, LiveCaptureRecordedAsItCame_CloseNamesItsFile_UnrecordedRowsAsked) {
  PtyPair line;
  Links().ComPort().SetPort(line.SlavePath());
  Window().Toolbar().StartButton()->click();
  ASSERT_TRUE(Links().ComPort().Connected()) << reports_.Text();
  line.Send(traffic::ReadRequest(1, 0, 10));
  ASSERT_TRUE(QTest::qWaitFor([this] { return LoggedPackets().size() == 1; }, 60'000));

  LogPackets(1);  // not through the capture: not in its file
  Answer(QStringLiteral("Cancel"));
  EXPECT_FALSE(Window().close());
  EXPECT_EQ(asked_, QStringLiteral("UnsavedLogQuestion"));

  Window().Log().Clear();
  line.Send(traffic::ReadRequest(2, 0, 10));
  ASSERT_TRUE(QTest::qWaitFor([this] { return LoggedPackets().size() == 1; }, 60'000));
  ASSERT_EQ(Window().Recording().RecordedFiles().size(), 1);
  const QString file = Window().Recording().RecordedFiles().last();
  Answer(QStringLiteral("Cancel"));
  EXPECT_FALSE(Window().close());
  EXPECT_EQ(asked_, QStringLiteral("RecordedCaptureQuestion"));
  EXPECT_TRUE(askedText_.startsWith(QStringLiteral("The capture is kept in %1.").arg(QFileInfo(file).fileName())))
      << askedText_.toStdString();
  EXPECT_TRUE(askedText_.contains(QStringLiteral("may be removed after about "))) << askedText_.toStdString();
  EXPECT_TRUE(Links().ComPort().Connected()) << "staying goes on capturing";

  // Save as: a copy elsewhere, then the window closes.
  const QString copy = PathOf("copy.pcapng");
  Answer(QStringLiteral("Save &as\u2026"), copy);
  EXPECT_FALSE(Window().close()) << "closes once the copy is written";
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Window().isVisible(); }, 30'000));
  EXPECT_GT(QFileInfo(copy).size(), 0);
  EXPECT_FALSE(Links().ComPort().Connected()) << "saving to close ends the capture";

  // Keep: the window closes at once, the file where it was.
  StartProgram();
  Window().show();
  Links().ComPort().SetPort(line.SlavePath());
  Window().Toolbar().StartButton()->click();
  ASSERT_TRUE(Links().ComPort().Connected()) << reports_.Text();
  line.Send(traffic::ReadRequest(3, 0, 10));
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return Window().Recording().RecordedPackets() == 1 && Window().Log().PacketCount() == 1; }, 60'000))
      << Window().Log().PacketCount();
  const QString kept = Window().Recording().RecordedFiles().value(0);
  Answer(QStringLiteral("&Keep"));
  EXPECT_TRUE(Window().close());
  EXPECT_EQ(asked_, QStringLiteral("RecordedCaptureQuestion"));
  EXPECT_FALSE(Links().ComPort().Connected()) << "closing ends the capture";
  EXPECT_TRUE(QFileInfo::exists(file));
  EXPECT_TRUE(QFileInfo::exists(kept));
}

// A window that shows a file opened, and only that, closes unasked, however
// many of its rows came after the first screen.
TEST_F(CloseGuardTest, OpenedFile_ClosesUnasked_UntilARowOfItsOwnIsAdded) {
  LogPackets(CaptureLoad::kFirstPackets + 3000);
  const QString path = PathOf("long.pcapng");
  QSignalSpy saved(&Window().SaveCommand(), &LogSaveCommand::finished);
  Window().SaveCommand().SaveTo(path);
  ASSERT_TRUE(saved.wait(60'000));
  Window().Log().Clear();
  ASSERT_TRUE(Window().OpenCapture(path)) << reports_.Text();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Window().ReadingCapture(); }, 60'000));
  ASSERT_EQ(Window().Log().PacketCount(), static_cast<int>(CaptureLoad::kFirstPackets) + 3000);
  answerer_.reset();
  EXPECT_TRUE(Window().close());

  Window().show();
  LogPackets(1);
  Answer(QStringLiteral("&Discard"));
  EXPECT_TRUE(Window().close());
  EXPECT_EQ(asked_, QStringLiteral("UnsavedLogQuestion"));
}

TEST(RecordedCaptureAdvice, NamesTheFolderAndHowManyNewerCapturesMayTakeItsPlace) {
  const QString advice = CloseGuard::RecordedCaptureAdvice(QStringLiteral("/data/captures/c.pcapng"), 0,
                                                           10 * 1024 * 1024, 2048LL * 1024 * 1024);
  EXPECT_EQ(advice.toStdString(),
            "It is in /data/captures, whose disk budget removes the oldest captures first: it may be "
            "removed after about 203 newer captures of its size (2038 MB of newer captures). Save it elsewhere to "
            "keep it for good.");
  EXPECT_TRUE(CloseGuard::RecordedCaptureAdvice(QStringLiteral("/c/x.pcapng"), 2, 0, 100)
                  .contains(QStringLiteral("with the 2 earlier files of this capture")));
  EXPECT_TRUE(CloseGuard::RecordedCaptureAdvice(QStringLiteral("/c/x.pcapng"), 0, 500, 100)
                  .contains(QStringLiteral("after about 0 newer")));
}

TEST_F(CloseGuardTest, EmptyOrClearedLog_ClosesUnasked) {
  EXPECT_TRUE(Window().close());
  Window().show();
  LogPackets(2);
  Window().Log().Clear();
  EXPECT_TRUE(Window().close());
}

TEST_F(CloseGuardTest, SaveRunning_WaitShowsProgressAndClosesWhenWritten) {
  LogPackets(10);
  HoldSaves();
  const QString path = PathOf("waited.csv");
  Window().SaveCommand().SaveTo(path);
  Answer(QStringLiteral("&Wait"));
  EXPECT_FALSE(Window().close());
  EXPECT_EQ(asked_, QStringLiteral("SaveRunningQuestion"));
  auto* progress = Window().findChild<QWidget*>(QStringLiteral("SaveProgress"));
  ASSERT_NE(progress, nullptr);
  EXPECT_TRUE(progress->isVisible());
  EXPECT_TRUE(Window().isVisible());

  released_ = true;
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Window().isVisible(); }, 30'000));
  EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(CloseGuardTest, SaveRunning_CancelStopsItAndCloses_KeepOpenStays) {
  LogPackets(10);
  HoldSaves();
  const QString path = PathOf("cancelled.txt");
  Window().SaveCommand().SaveTo(path);
  Answer(QStringLiteral("&Keep the window open"));
  EXPECT_FALSE(Window().close());
  EXPECT_TRUE(Window().SaveCommand().Saving());

  Answer(QStringLiteral("&Cancel the save"));
  QSignalSpy ended(&Window().SaveCommand(), &LogSaveCommand::finished);
  EXPECT_TRUE(Window().close());
  released_ = true;
  ASSERT_TRUE(ended.wait(30'000));
  EXPECT_FALSE(QFileInfo::exists(path));
}

}  // namespace
}  // namespace tessaly::test
