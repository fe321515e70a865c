// Copying rows: the text reaches the clipboard; a copy beyond the limit says
// so and offers to save instead; a copy that runs out of memory is reported.
#include "views/log_copy_command.h"
#include "log/packet_log_model.h"
#include "views/packet_log_view.h"
#include "presentation/error_report.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <fstream>
#include <vector>

namespace tessaly {
namespace {

class LogCopyTest : public testing::Test {
 protected:
  LogCopyTest() {
    model.SetBatching(INT_MAX, 0);
    view.SetLogModel(&model);
    view.InitLog();
    SetErrorReportHook([this](const QString& text) { reports.push_back(text); });
  }
  ~LogCopyTest() override { SetErrorReportHook(ErrorReportHook()); }

  void Append(int packets, int size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size), 0xAB);
    for (int n = 0; n < packets; ++n) model.AppendPacket(bytes.data(), size, WallClockNow());
  }
  void SelectRows(int first, int last) {
    view.selectionModel()->select(QItemSelection(model.index(first, 0), model.index(last, 1)),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  QMessageBox* TooLargeBox() const { return view.findChild<QMessageBox*>(QStringLiteral("CopyTooLarge")); }

  PacketLogModel model;
  PacketLogView view;
  std::vector<QString> reports;
};

TEST_F(LogCopyTest, BeyondTheLimit_SaysSoAndOffersSave_ClipboardKeepsItsText_WrittenHereOrOnAThread) {
  Append(3000, 2);  // "AB AB \n": 7 bytes a row copied as bytes
  QApplication::clipboard()->setText(QStringLiteral("kept"));
  view.Copier().SetLimitBytes(7 * 500);
  QSignalSpy saveRequested(&view, &PacketLogView::saveRequested);

  SelectRows(0, 499);  // exactly the limit: copied
  view.CopyBytesAction()->trigger();
  EXPECT_EQ(QApplication::clipboard()->text().size(), 7 * 500);
  EXPECT_TRUE(QApplication::clipboard()->mimeData()->hasText());
  QApplication::clipboard()->setText(QStringLiteral("kept"));

  // One row more, written at once; then all rows, written on a thread.
  for (const int last : {500, 2999}) {
    SelectRows(0, last);
    view.CopyBytesAction()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return TooLargeBox() != nullptr; }, 10'000)) << last;
    QMessageBox* box = TooLargeBox();
    EXPECT_EQ(box->text(), "The selected rows make more than 0.0035 MB of text, too much for the clipboard.");
    EXPECT_EQ(box->windowTitle(), "Tessaly");
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");
    box->findChild<QAbstractButton*>(QStringLiteral("CopyTooLargeSave"))->click();
    EXPECT_TRUE(QTest::qWaitFor([this] { return TooLargeBox() == nullptr; }, 1000));
  }
  EXPECT_EQ(saveRequested.size(), 2);
  EXPECT_TRUE(reports.empty());

  // Within the limit on a thread: the whole text arrives.
  view.Copier().SetLimitBytes(LogCopyCommand::kDefaultLimitBytes);
  QSignalSpy copied(&view, &PacketLogView::copied);
  view.CopyBytesAction()->trigger();
  ASSERT_TRUE(copied.wait(10'000));
  EXPECT_EQ(copied.first().first().toInt(), 3000);
  EXPECT_EQ(QApplication::clipboard()->text().size(), 7 * 3000);
}

// The process's address space is held to a little more than it uses, so the
// text of a thousand long rows (90 MB) cannot be made.
TEST_F(LogCopyTest, OutOfMemory_ReportedAndClipboardKeepsItsText) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space for its shadow memory, "
                  "so a limit just above what the process uses cannot be set";
#endif
  Append(1000, 30'000);
  SelectRows(0, 999);
  QApplication::clipboard()->setText(QStringLiteral("kept"));
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  rlimit saved{};
  getrlimit(RLIMIT_AS, &saved);
  rlimit limited = saved;
  limited.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + 1'000'000;
  ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
  view.CopyAction()->trigger();
  setrlimit(RLIMIT_AS, &saved);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], "Not enough memory to copy 1000 rows.");
  EXPECT_EQ(QApplication::clipboard()->text(), "kept");
}

}  // namespace
}  // namespace tessaly
