// Two lines captured at once, end to end: two pseudo-terminals, one per
// direction of a tap, into one log in order with each row on its line; a
// line that fails while the other goes on; both lines' settings kept apart
// in the store; and with one line, the window exactly as it always was.

#include "app/capture_batch.h"
#include "capture_file/capture_folder.h"
#include "app/capture_lines.h"
#include "capture_file/capture_open.h"
#include "app/line_views.h"
#include "app/log_save_command.h"
#include "app/main_toolbar.h"
#include "app/second_line.h"
#include "app/status_panels.h"
#include "views/line_name_strip.h"
#include "log/packet_text.h"
#include "capture_file/capture_file_reader.h"
#include "dialogs/second_line_dialog.h"
#include "links/serial/com_text.h"

#include <QLabel>
#include <QRadioButton>
#include "settings/registry.h"
#include "tests/app/program_fixture.h"
#include "tests/support/pty_pair.h"
#include "tools/traffic/modbus_frames.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace tessaly::test {
namespace {

using traffic::Frame;

// The lines of a file's interfaces, all known at once.
CaptureLines LinesOfCapture(const std::vector<CapturedInterface>& interfaces) {
  CaptureLines lines;
  for (const CapturedInterface& link : interfaces) lines.AddInterface(link);
  return lines;
}

QString Hex(const Frame& frame) { return FormatPacketBytes(frame.data(), static_cast<int>(frame.size())); }

constexpr const char* kSecondPortKey = "SOFTWARE\\Verandel\\Tessaly\\ComPort2";
constexpr const char* kFirstPortKey = "SOFTWARE\\Verandel\\Tessaly\\ComPort";

class TwoLinesTest : public ProgramTest {
 protected:
  SecondLine& Second() { return Window().Second(); }
  void ClickStart() { Window().Toolbar().StartButton()->click(); }
  int Picture() { return Window().Toolbar().StartImageIndex(); }
  bool WaitForPackets(int count) {
    return QTest::qWaitFor([&] { return LoggedPackets().size() >= count; }, 60'000);
  }
  // Both lines on serial ports: the first at a, the second at b.
  void StartBoth(const PtyPair& a, const PtyPair& b, const QString& first = "master",
                 const QString& second = "slave") {
    StartProgram();
    SecondLineSettings settings;
    settings.on = true;
    settings.firstName = first;
    settings.secondName = second;
    settings.masterLine = 0;
    Second().Choose(settings);
    Links().ComPort().SetPort(a.SlavePath());
    Second().Links().ComPort().SetPort(b.SlavePath());
    ClickStart();
    ASSERT_TRUE(Links().ComPort().Connected()) << reports_.Text();
    ASSERT_TRUE(Second().Links().ComPort().Connected()) << reports_.Text();
  }
  std::vector<int> LinesOfRows() {
    std::vector<int> lines;
    for (int row = 0; row < Window().Log().PacketCount(); ++row) lines.push_back(Window().Log().PacketAt(row).line);
    return lines;
  }
};

TEST_F(TwoLinesTest, InterleavedRequestsAndAnswers_OneLogInTimeOrderEachRowOnItsLine) {
  PtyPair masterSide;
  PtyPair slaveSide;
  StartBoth(masterSide, slaveSide);
  EXPECT_EQ(Picture(), ConnectionControl::kStopPicture);
  EXPECT_EQ(Window().Panels().LinkState(), "master: Connected") << "each line's state panel names it";
  EXPECT_EQ(Window().Panels().SecondLinkState(), "slave: Connected");
  EXPECT_EQ(Window().Panels().SecondLinkSettings(), slaveSide.SlavePath() + ",9600,8,None,1,None");
  EXPECT_TRUE(Window().Panels().SecondLineShown());

  // Each answer comes on the other line 30 ms after its request, the next
  // request 30 ms later: far apart against the 4 ms interval, so the order
  // on the lines is known.
  QStringList expected;
  std::vector<int> expectedLines;
  for (int n = 0; n < 4; ++n) {
    const Frame request = traffic::ReadRequest(1, static_cast<std::uint16_t>(n), 2);
    const Frame answer = traffic::ReadResponse(1, {static_cast<std::uint16_t>(n), 7});
    masterSide.Send(request);
    QTest::qWait(30);
    slaveSide.Send(answer);
    QTest::qWait(30);
    expected << Hex(request) << Hex(answer);
    expectedLines.insert(expectedLines.end(), {0, 1});
  }
  ASSERT_TRUE(WaitForPackets(8));
  QTest::qWait(150);
  EXPECT_EQ(LoggedPackets(), expected);
  EXPECT_EQ(LinesOfRows(), expectedLines);
  const PacketLogModel& log = Window().Log();
  EXPECT_EQ(log.LineNameAt(0), "master");
  EXPECT_EQ(log.LineNameAt(1), "slave");
  EXPECT_TRUE(Window().Views().LineNames().isVisibleTo(&Window())) << "the line column shows with two lines";
  EXPECT_EQ(log.columnCount(), 2);

  // The last packet of each line reaches the log at Stop; both close.
  masterSide.Send(traffic::ReadRequest(2, 0, 1));
  slaveSide.Send(traffic::ReadResponse(2, {5}));
  ClickStart();
  EXPECT_FALSE(Links().ComPort().Connected());
  EXPECT_FALSE(Second().Links().ComPort().Connected());
  EXPECT_EQ(Picture(), ConnectionControl::kStartPicture);
  EXPECT_EQ(LoggedPackets().size(), 10) << "nothing read before Stop is lost";
  EXPECT_TRUE(reports_.isEmpty()) << reports_.Text();
  ASSERT_TRUE(Window().Recording().WaitForFinishing(std::chrono::seconds(60)));

  // The capture file has an interface per line, named as the user named
  // the lines, and each packet on its own line's.
  const QFileInfoList files = QDir(CaptureFolder()).entryInfoList({"*.pcapng"}, QDir::Files, QDir::Time);
  ASSERT_FALSE(files.isEmpty());
  const CaptureFileContents file = ReadCaptureFile(files.front().filePath().toStdString());
  const CaptureLines lines = LinesOfCapture(file.interfaces);
  EXPECT_EQ(lines.Names(), (QStringList{"master", "slave"}));
  ASSERT_EQ(file.packets.size(), 10u);
  for (std::size_t n = 0; n < file.packets.size(); ++n) {
    EXPECT_EQ(lines.LineOf(file.packets[n].interfaceId), LinesOfRows()[n]) << n;
  }

  // Saved as text, each row names its line.
  const QString text = QDir(CaptureFolder()).filePath(QStringLiteral("two-lines.txt"));
  QSignalSpy saved(&Window().SaveCommand(), &LogSaveCommand::finished);
  Window().SaveCommand().SaveTo(text);
  ASSERT_TRUE(saved.wait(30'000));
  QFile savedFile(text);
  ASSERT_TRUE(savedFile.open(QIODevice::ReadOnly));
  const QList<QByteArray> rows = savedFile.readAll().split('\n');
  ASSERT_GE(rows.size(), 10);
  for (int n = 0; n < 10; ++n) {
    EXPECT_TRUE(rows[n].startsWith(LinesOfRows()[n] == 0 ? "master\t" : "slave\t")) << rows[n].toStdString();
  }
}

TEST_F(TwoLinesTest, OneLineFails_ItsFailureIsNamedAndTheOtherKeepsCapturing) {
  PtyPair first;
  PtyPair second;
  StartBoth(first, second, "A", "B");
  second.HangUp();
  ASSERT_TRUE(WaitUntil([this] { return !Second().Links().ComPort().Connected(); }));
  QTest::qWait(100);
  ASSERT_EQ(reports_.size(), 1) << reports_.Text();
  EXPECT_EQ(reports_[0], "B: WaitForEvent method failed (win error code: 5)");
  EXPECT_TRUE(Links().ComPort().Connected()) << "the first line goes on";
  EXPECT_EQ(Picture(), ConnectionControl::kStopPicture);
  EXPECT_EQ(Window().Panels().SecondLinkState(), "B: No Connect");

  const Frame request = traffic::ReadRequest(3, 0, 1);
  first.Send(request);
  ASSERT_TRUE(WaitUntil([&] { return LoggedPackets().contains(Hex(request)); }));
  EXPECT_TRUE(Window().Recording().Capturing()) << "the file goes on with the line that is left";
  const QStringList rows = LoggedPackets();
  EXPECT_TRUE(rows.first().contains("Link lost at ") && rows.first().contains("B: ")) << rows.first().toStdString();

  ClickStart();
  EXPECT_FALSE(Links().ComPort().Connected());
  EXPECT_EQ(Picture(), ConnectionControl::kStartPicture);
}

TEST_F(TwoLinesTest, SecondPortMissingAtStart_ReportedByNameAndTheFirstLineCaptures) {
  PtyPair first;
  StartProgram();
  SecondLineSettings settings;
  settings.on = true;
  Second().Choose(settings);
  Links().ComPort().SetPort(first.SlavePath());
  Second().Links().ComPort().SetPort(QStringLiteral("/dev/tessaly-no-such-port"));
  ClickStart();
  ASSERT_EQ(reports_.size(), 1) << reports_.Text();
  EXPECT_TRUE(reports_[0].startsWith("B: Unable to open com port")) << reports_.Text();
  EXPECT_TRUE(Links().ComPort().Connected());
  EXPECT_EQ(Picture(), ConnectionControl::kStopPicture);
  ClickStart();
  EXPECT_EQ(Picture(), ConnectionControl::kStartPicture);
}

TEST_F(TwoLinesTest, BothLinesSettingsStoredApart_RestoredAtStartUp_BadValuesReadAsDefaults) {
  PtyPair first;
  PtyPair second;
  StartBoth(first, second);
  ClickStart();
  EXPECT_EQ(QString::fromStdString(Stored("Port", kFirstPortKey)), first.SlavePath());
  EXPECT_EQ(QString::fromStdString(Stored("Port", kSecondPortKey)), second.SlavePath());

  StartProgram();
  EXPECT_TRUE(Second().On());
  EXPECT_EQ(Second().Settings().firstName, "master");
  EXPECT_EQ(Second().Settings().secondName, "slave");
  EXPECT_EQ(Second().Settings().masterLine, 0);
  EXPECT_EQ(Links().ComPort().Port(), first.SlavePath());
  EXPECT_EQ(Second().Links().ComPort().Port(), second.SlavePath());
  EXPECT_TRUE(Window().Panels().SecondLineShown());

  // Turned off through the dialog: the first line's values stay untouched.
  const std::string firstBefore = Stored("Port", kFirstPortKey);
  CloseModalBoxes();
  boxCloser_->stop();
  QTimer::singleShot(0, [this, &first, &second] {
    SecondLineDialog* dialog = Window().SecondLineSettingsDialog();
    ASSERT_NE(dialog, nullptr);
    // Each line's port beside its name.
    EXPECT_EQ(dialog->lFirstWhere->text(), DisplayedPortName(first.SlavePath(), 24));
    EXPECT_EQ(dialog->lSecondWhere->text(), DisplayedPortName(second.SlavePath(), 24));
    dialog->rbSecondTcp->setChecked(true);
    EXPECT_EQ(dialog->lSecondWhere->text(), QStringLiteral("%1:%2")
                                                .arg(Second().Links().Socket().Address())
                                                .arg(Second().Links().Socket().Port()));
    dialog->cbSecondLine->setChecked(false);
    dialog->eSecondName->setText("  ");
    dialog->accept();
  });
  Window().findChild<QAction*>("miSecondLine")->trigger();
  EXPECT_FALSE(Second().On());
  EXPECT_EQ(Stored("SecondName", kSecondLineKeyPath), "B") << "a blank name is the line's letter";
  EXPECT_FALSE(Window().Panels().SecondLineShown());
  EXPECT_EQ(Stored("Port", kFirstPortKey), firstBefore);

  // Values of the wrong type or out of range never stop the program.
  {
    TRegistry store(StoreDirectory());
    store.SetRootKey(RegistryRoot::LocalMachine);
    store.OpenKey(kSecondLineKeyPath, true);
    store.WriteString("On", "yes");
    store.WriteInteger("MasterLine", 7);
    store.WriteInteger("FirstName", 3);
  }
  StartProgram();
  EXPECT_FALSE(Second().On());
  EXPECT_EQ(Second().Settings().masterLine, SecondLineSettings::kNoMasterSide);
  EXPECT_EQ(Second().Settings().firstName, "A");
  EXPECT_TRUE(reports_.isEmpty()) << reports_.Text();
}

TEST_F(TwoLinesTest, OneLine_TheWindowIsTheOneLineWindowUnchanged) {
  PtyPair line;
  StartProgram();
  EXPECT_FALSE(Second().On());
  Links().ComPort().SetPort(line.SlavePath());
  ClickStart();
  ASSERT_TRUE(Links().ComPort().Connected());
  const Frame request = traffic::ReadRequest(1, 0, 1);
  line.Send(request);
  ASSERT_TRUE(WaitUntil([&] { return LoggedPackets().size() == 1; }));
  ClickStart();

  const PacketLogModel& log = Window().Log();
  EXPECT_EQ(log.columnCount(), 2);
  EXPECT_EQ(log.headerData(0, Qt::Horizontal).toString(), "Time");
  EXPECT_EQ(log.headerData(1, Qt::Horizontal).toString(), "Packet data");
  EXPECT_FALSE(log.ShowsLines());
  EXPECT_FALSE(log.data(log.index(0, 1), Qt::BackgroundRole).isValid());
  EXPECT_FALSE(Window().Views().LineNames().isVisibleTo(&Window()));
  EXPECT_FALSE(Window().Panels().SecondLineShown());
  QStringList shownPanels;
  for (const QLabel* panel : Window().Panels().findChildren<QLabel*>()) {
    if (panel->objectName().startsWith("StatusPanel") && panel->isVisibleTo(&Window())) {
      shownPanels << panel->objectName();
    }
  }
  EXPECT_EQ(shownPanels, (QStringList{"StatusPanel0", "StatusPanel1", "StatusPanel2"}));
  EXPECT_FALSE(Second().Links().ComPort().Connected()) << "a second line that is off is never opened";
}

TEST(CaptureLinesTest, InterfacesOfOneNameAreOneLine_InTheOrderTheFileNamesThem) {
  std::vector<CapturedInterface> interfaces(4);
  interfaces[0].link.name = "ttyUSB0";
  interfaces[1].link.name = "ttyUSB1";
  interfaces[2].link.name = "ttyUSB0";  // the first line, its interval changed
  interfaces[3].link.name = "127.0.0.1:5020";
  const CaptureLines lines = LinesOfCapture(interfaces);
  EXPECT_EQ(lines.Names(), (QStringList{"ttyUSB0", "ttyUSB1", "127.0.0.1:5020"}));
  EXPECT_EQ(lines.LineOf(2), 0);
  EXPECT_EQ(lines.LineOf(1), 1);
  EXPECT_EQ(lines.LineOf(99), 0) << "an id the file does not describe";
  EXPECT_FALSE(LinesOfCapture({interfaces[0], interfaces[2]}).Several());

  // The names the user gave the lines, where the file keeps them, win; the
  // same port under two names is two lines.
  interfaces[0].link.lineName = interfaces[2].link.lineName = "master";
  interfaces[1].link.lineName = "slave";
  interfaces[3].link.lineName = "gateway";
  interfaces[3].link.name = "ttyUSB0";
  const CaptureLines named = LinesOfCapture(interfaces);
  EXPECT_EQ(named.Names(), (QStringList{"master", "slave", "gateway"}));
  EXPECT_EQ(named.LineOf(2), 0);
  EXPECT_EQ(named.LineOf(3), 2);
}

TEST(CaptureLinesTest, OpenedFileOfTwoLines_ShowsEachRowsLine_OneLineFileShowsNone) {
  CaptureBatch batch;
  batch.interfaces.resize(2);
  batch.interfaces[0].linkType = 147;
  batch.interfaces[0].link.name = "pts/1";
  batch.interfaces[1].linkType = 147;
  batch.interfaces[1].link.name = "pts/2";
  for (std::uint32_t n = 0; n < 3; ++n) {
    batch.packets.push_back({n % 2, 1'000'000 + n, std::nullopt, std::nullopt, batch.bytes.size(), 2});
    batch.bytes += "\x01\x03";
  }
  {
    PacketLogModel log;
    CaptureLines lines;
    AppendCaptureBatch(batch, log, lines);
    EXPECT_EQ(log.LineNames(), (QStringList{"pts/1", "pts/2"}));
    EXPECT_EQ(log.LineNameAt(1), "pts/2");
    EXPECT_EQ(log.PacketAt(1).line, 1);
    EXPECT_EQ(log.PacketAt(2).line, 0);
  }
  batch.interfaces[1].link.name = "pts/1";  // one line, its interval changed
  PacketLogModel log;
  CaptureLines lines;
  AppendCaptureBatch(batch, log, lines);
  EXPECT_FALSE(log.ShowsLines());
  EXPECT_EQ(log.PacketAt(1).line, 0);
}

}  // namespace
}  // namespace tessaly::test
