// The capture as a file: what a window records while it captures on a real
// line, a file the disk stops taking, a capture a crash cut off, and files
// opened into the log, good and bad.
#include "capture_file/capture_folder.h"
#include "app/capture_load.h"
#include "capture_file/capture_open.h"
#include "app/frame_analysis.h"
#include "app/status_panels.h"
#include "app/main_toolbar.h"
#include "log/packet_log_model.h"
#include "capture_file/capture_file_reader.h"
#include "capture_file/capture_file_writer.h"
#include "capture_file/pcapng_blocks.h"
#include "session/link_holder.h"
#include "capture_file/capture_recording.h"
#include "tests/app/program_fixture.h"
#include "tests/support/pty_pair.h"

#include <QAbstractButton>
#include <QToolButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>

namespace tessaly::test {
namespace {

constexpr PacketTime kNoon = 1'796'731'200'000'000;  // 2026-12-08T12:00:00Z

class CaptureRecordingTest : public ProgramTest {
 protected:
  void SetUp() override { QDir(CaptureFolder()).removeRecursively(); }

  void ClickStart() { Window().Toolbar().StartButton()->click(); }
  bool WaitForPackets(int count) {
    return QTest::qWaitFor([&] { return Window().Log().PacketCount() == count; }, 60'000);
  }
  void StartSerialOn(const PtyPair& line) {
    StartProgram();
    Links().ComPort().SetPort(line.SlavePath());
    ClickStart();
    ASSERT_TRUE(Links().ComPort().Connected()) << reports_.Text();
  }
  QStringList CaptureFiles() const {
    QStringList files;
    for (const QFileInfo& file : QDir(CaptureFolder()).entryInfoList({"*.pcapng"}, QDir::Files, QDir::Name)) {
      files << file.filePath();
    }
    return files;
  }
  // Answers every question box that appears with answer, and keeps its text.
  void Answer(QMessageBox::StandardButton answer) {
    answerer_ = std::make_unique<QTimer>();
    answerer_->setInterval(20);
    QObject::connect(answerer_.get(), &QTimer::timeout, [this, answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      questions_ << box->text();
      box->button(answer)->click();
    });
    answerer_->start();
  }
  // A capture of two packets as this program writes it, in the captures folder.
  QString WriteCapture(const char* name) {
    QDir().mkpath(CaptureFolder());
    const QString path = CaptureFolder() + u'/' + QLatin1String(name);
    CaptureFileWriter writer(path.toStdString(), CaptureFileFormat::kPcapng, "test");
    const std::uint32_t link = writer.AddInterface({"ttyUSB0", "ttyUSB0 9600 8N1", 9600});
    const std::uint8_t bytes[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    writer.AddPacket(link, bytes, 8, {kNoon, kNoon + 7'000, kNoon + 11'000});
    writer.AddComment("\u2014 Link lost \u2014");
    writer.AddPacket(link, bytes, 3, {kNoon + 60'000'000, kNoon + 60'002'000, kNoon + 60'006'000});
    writer.Close();
    return path;
  }

  std::unique_ptr<QTimer> answerer_;
  QStringList questions_;
};

TEST_F(CaptureRecordingTest, SerialCapture_FileReadsBackSamePacketsTimesAndLine) {
  PtyPair line;
  StartSerialOn(line);
  line.Send(std::string_view("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8));
  ASSERT_TRUE(WaitForPackets(1));
  // Stop while a packet is still being collected: it ends at its silence
  // as always, goes into the file, and then the file is closed.
  Window().Framer().SetInterval(300);
  const LineDescription described = Window().Session().Line();
  line.Send(std::string_view("\x01\x83\x02\xC0\xF1", 5));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window().EndPacketTimer().isActive(); }, 60'000));
  ClickStart();
  ASSERT_TRUE(WaitForPackets(2));
  // Stop does not wait for the disk: the file is finished on its own thread.
  ASSERT_TRUE(Window().Recording().WaitForFinishing(std::chrono::seconds(60)));

  const QStringList files = CaptureFiles();
  ASSERT_EQ(files.size(), 1);
  EXPECT_TRUE(QFileInfo(files[0]).fileName().startsWith("tessaly-")) << files[0].toStdString();
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(UnfinishedMarkerOf(files[0].toStdString()))));
  const CaptureFileContents contents = ReadCaptureFile(files[0].toStdString());
  EXPECT_FALSE(contents.torn);
  // The new interval made the line a new interface of the file.
  ASSERT_EQ(contents.interfaces.size(), 2u);
  EXPECT_EQ(contents.interfaces[1].linkType, 147);
  EXPECT_EQ(contents.interfaces[1].link.name, line.SlavePath().toStdString());
  EXPECT_EQ(contents.interfaces[1].link.description, described.Text().toStdString());
  EXPECT_NE(contents.interfaces[0].link.description, contents.interfaces[1].link.description);
  EXPECT_EQ(contents.interfaces[1].link.bitsPerSecond, 9600u);
  ASSERT_EQ(contents.packets.size(), 2u);
  EXPECT_EQ(contents.packets[1].interfaceId, 1u);
  for (int row = 0; row < 2; ++row) {
    const PacketStore::Packet logged = Window().Log().PacketAt(row);
    EXPECT_EQ(contents.packets[row].bytes, std::vector<std::uint8_t>(logged.bytes, logged.bytes + logged.count));
    EXPECT_EQ(contents.packets[row].stamp, logged.time);
    EXPECT_EQ(contents.packets[row].firstByte, logged.firstByte);
  }

  // Opened again (the running capture stopped first): the first bytes come
  // back; the last byte's time, which the file does not keep, reads as
  // unknown rather than as the packet's end.
  Answer(QMessageBox::Yes);
  ASSERT_TRUE(Window().OpenCapture(files[0])) << reports_.Text();
  for (int row = 0; row < 2; ++row) {
    const PacketStore::Packet opened = Window().Log().PacketAt(row);
    EXPECT_EQ(opened.firstByte, contents.packets[row].firstByte);
    EXPECT_FALSE(opened.lastByte.has_value());
  }
  Answer(QMessageBox::Yes);

  // Each start is a file of its own; a start that catches nothing leaves none.
  ClickStart();
  ClickStart();
  EXPECT_EQ(CaptureFiles().size(), 1);
}

TEST_F(CaptureRecordingTest, DiskStopsTakingTheFile_CaptureStopsWithOneReport_FileReadsToItsEnd) {
  PtyPair line;
  StartSerialOn(line);
  line.Send(std::string_view("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8));
  ASSERT_TRUE(WaitForPackets(1));
  // From now on no file of this process may grow beyond 2 KiB: the capture
  // file runs into the limit as a full disk would stop it.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  rlimit small = before;
  small.rlim_cur = 2048;
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string packet(100, '\x5A');
  for (int sent = 1; sent < 200 && Links().ComPort().Connected(); ++sent) {
    line.Send(packet);
    if (!QTest::qWaitFor([&] { return Window().Log().PacketCount() > sent || !Links().ComPort().Connected(); },
                         60'000)) {
      break;
    }
    QTest::qWait(5);
  }
  QTest::qWaitFor([&] { return !reports_.isEmpty(); }, 60'000);
  setrlimit(RLIMIT_FSIZE, &before);

  EXPECT_FALSE(Links().ComPort().Connected()) << "capture stops";
  ASSERT_EQ(reports_.size(), 1) << reports_.Text();
  const QStringList files = CaptureFiles();
  ASSERT_EQ(files.size(), 1);
  EXPECT_EQ(reports_[0], "Cannot write the capture to " + files[0] + ": File too large.");
  const CaptureFileContents contents = ReadCaptureFile(files[0].toStdString());
  EXPECT_FALSE(contents.torn) << "cut back to its last whole block";
  EXPECT_LE(QFileInfo(files[0]).size(), 2048);
  ASSERT_GT(contents.packets.size(), 1u);
  const PacketStore::Packet last = Window().Log().PacketAt(static_cast<int>(contents.packets.size()) - 1);
  EXPECT_EQ(contents.packets.back().bytes, std::vector<std::uint8_t>(last.bytes, last.bytes + last.count));
  // Only what reached the file counts as kept, so closing asks about the rest.
  ASSERT_TRUE(Window().Recording().WaitForFinishing(std::chrono::seconds(60)));
  EXPECT_LE(Window().Recording().RecordedPackets(), static_cast<long long>(contents.packets.size()));
  EXPECT_LT(Window().Recording().RecordedPackets(), Window().Log().PacketCount());
}

TEST_F(CaptureRecordingTest, CaptureCutOffByACrash_OfferedOnceAtStartAndOpened) {
  const QString path = WriteCapture("tessaly-cut.pcapng");
  // A marker nobody holds, naming a process that lives: its id was given
  // again (after a reboot, say) to a process that writes no capture.
  std::ofstream(UnfinishedMarkerOf(path.toStdString())) << "1\n";
  // The marker of a capture another window is writing: held locked.
  const QString running = WriteCapture("tessaly-running.pcapng");
  const std::string runningMarker = UnfinishedMarkerOf(running.toStdString());
  std::ofstream(runningMarker) << "2147483646\n";
  const int held = ::open(runningMarker.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  StartProgram();
  Answer(QMessageBox::Yes);
  Window().OfferUnfinishedCapture();
  ASSERT_EQ(questions_.size(), 1);
  EXPECT_TRUE(questions_[0].startsWith("The last capture (2 packets, ")) << questions_[0].toStdString();
  EXPECT_TRUE(questions_[0].endsWith(") was not closed. Open it?"));
  EXPECT_EQ(Window().Log().PacketCount(), 3) << "two packets and the note between them";
  ASSERT_EQ(Window().Log().Marks().size(), 1u);
  EXPECT_EQ(Window().Log().Marks().begin()->first, 1);
  EXPECT_EQ(Window().ShownCapture(), path);

  // Asked once; the capture of a program still running is never offered.
  Window().OfferUnfinishedCapture();
  EXPECT_EQ(questions_.size(), 1);
  ::close(held);
}

TEST_F(CaptureRecordingTest, FilesThatAreNoModbusCapture_OneMessageNamingThem_LogKept) {
  QDir().mkpath(CaptureFolder());
  const auto write = [](const QString& path, const std::string& bytes) { std::ofstream(path.toStdString()) << bytes; };
  std::string good;
  pcapng::AppendSectionHeader(good, "test");
  pcapng::AppendInterface(good, {"ttyS0", "", std::nullopt});
  const std::uint8_t bytes[] = {1, 2, 3};
  pcapng::AppendPacket(good, 0, kNoon, bytes, 3, {});
  std::string lying = good;
  lying[good.size() - 4] = 0x7F;  // the packet's trailing length differs from its leading one
  std::string ethernet;
  pcap::AppendFileHeader(ethernet);
  ethernet[20] = 1;  // link type 1: Ethernet
  pcap::AppendRecord(ethernet, kNoon, bytes, 3);
  std::string header;
  pcapng::AppendSectionHeader(header, "test");
  header[4] = static_cast<char>(0xF0);  // the first block claims more than the file holds

  const struct {
    const char* name;
    std::string bytes;
    const char* why;
  } files[] = {
      {"empty.pcapng", "", "it is too short for a capture file"},
      {"notes.pcapng", "Modbus notes, not a capture\n", "it is not a pcapng or pcap file"},
      {"lying.pcapng", lying, "has different lengths at its ends"},
      {"ethernet.pcap", ethernet, "its packets are of link type 1, not Modbus RTU frames"},
      {"header.pcapng", header, "it is cut off before its first packet"},
  };
  StartProgram();
  Window().Log().AppendPacket(bytes, 2, kNoon);
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    const QString path = CaptureFolder() + u'/' + QLatin1String(file.name);
    write(path, file.bytes);
    reports_.clear();
    EXPECT_FALSE(Window().OpenCapture(path));
    ASSERT_EQ(reports_.size(), 1);
    EXPECT_TRUE(reports_[0].startsWith("Cannot read the capture " + path + ": ")) << reports_[0].toStdString();
    EXPECT_TRUE(reports_[0].contains(QLatin1String(file.why))) << reports_[0].toStdString();
    EXPECT_EQ(Window().Log().PacketCount(), 1) << "the log as it was";
  }
  // A classic pcap of another program with its first user link type opens.
  std::string user;
  pcap::AppendFileHeader(user);
  pcap::AppendRecord(user, kNoon, bytes, 3);
  write(CaptureFolder() + "/other.pcap", user);
  EXPECT_TRUE(Window().OpenCapture(CaptureFolder() + "/other.pcap")) << reports_.Text();
  EXPECT_EQ(Window().Log().PacketCount(), 1);
  EXPECT_EQ(Window().Log().PacketAt(0).count, 3);
}

// A long file: the first rows at once, the rest read on a thread and handed
// to the log in order; opening another file stops the reading; a block
// damaged far in keeps the rows before it and says what is wrong, once.
TEST_F(CaptureRecordingTest, LongFile_FirstRowsAtOnce_RestInTheBackground) {
  QDir().mkpath(CaptureFolder());
  const QString path = CaptureFolder() + "/long.pcapng";
  constexpr int kPackets = 100'000;
  {
    CaptureFileWriter writer(path.toStdString(), CaptureFileFormat::kPcapng, "test");
    const std::uint32_t link = writer.AddInterface({"ttyUSB0", "ttyUSB0 9600 8N1", 9600});
    for (int i = 0; i < kPackets; ++i) {
      const std::uint8_t bytes[] = {0x01, 0x03, static_cast<std::uint8_t>(i >> 16), static_cast<std::uint8_t>(i >> 8),
                                    static_cast<std::uint8_t>(i)};
      writer.AddPacket(link, bytes, 5, {kNoon + i * 1000, kNoon + i * 1000, kNoon + i * 1000 + 500});
    }
    writer.Close();
  }
  const auto expectInOrder = [this](int count) {
    ASSERT_EQ(Window().Log().PacketCount(), count);
    for (int row = 0; row < count; ++row) {
      const PacketStore::Packet packet = Window().Log().PacketAt(row);
      ASSERT_EQ(packet.time, kNoon + row * 1000 + 500) << "row " << row;
      ASSERT_EQ(packet.bytes[4], static_cast<std::uint8_t>(row)) << "row " << row;
      ASSERT_EQ(packet.firstByte, kNoon + row * 1000) << "row " << row;
    }
  };
  StartProgram();
  ASSERT_TRUE(Window().OpenCapture(path)) << reports_.Text();
  EXPECT_TRUE(Window().ReadingCapture());
  EXPECT_EQ(Window().Log().PacketCount(), static_cast<int>(CaptureLoad::kFirstPackets));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Window().ReadingCapture(); }, 60'000));
  expectInOrder(kPackets);
  EXPECT_EQ(reports_.size(), 0) << reports_.Text();

  // Another file opened while the first is read: only the other one shows.
  ASSERT_TRUE(Window().OpenCapture(path));
  ASSERT_TRUE(Window().OpenCapture(WriteCapture("short.pcapng")));
  EXPECT_FALSE(Window().ReadingCapture());
  QTest::qWait(200);
  EXPECT_EQ(Window().Log().PacketCount(), 3) << "two packets and the note between them";

  // The trailing length of packet 60000's block spoiled.
  std::string bytes;
  {
    std::ifstream file(path.toStdString(), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), {});
  }
  const auto word = [&bytes](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8 |
                                      static_cast<unsigned char>(bytes[at + 2]) << 16 |
                                      static_cast<unsigned char>(bytes[at + 3]) << 24);
  };
  std::size_t at = 0;
  for (int packets = 0; packets < 60'000 || word(at) != pcapng::kEnhancedPacket; at += word(at + 4)) {
    if (word(at) == pcapng::kEnhancedPacket) ++packets;
  }
  bytes[at + word(at + 4) - 4] ^= 0x10;
  std::ofstream(path.toStdString(), std::ios::binary | std::ios::trunc) << bytes;
  ASSERT_TRUE(Window().OpenCapture(path)) << reports_.Text();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Window().ReadingCapture(); }, 60'000));
  expectInOrder(60'000);
  ASSERT_EQ(reports_.size(), 1);
  EXPECT_EQ(reports_[0], "Cannot read the capture " + path + ": a block at offset " + QString::number(at) +
                             " has different lengths at its ends. The 60000 packets before it are shown.");
}

// A file from elsewhere may name any number of interfaces: those that are
// one line under many settings open whole; lines past those the log tells
// apart end the reading with one message, never the program.
TEST_F(CaptureRecordingTest, FileOfManyInterfaces_OpensWithoutACrash) {
  QDir().mkpath(CaptureFolder());
  const std::uint8_t bytes[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  const auto write = [&](const QString& path, int names) {
    std::string file;
    pcapng::AppendSectionHeader(file, "test");
    for (int i = 0; i < 300; ++i) {
      pcapng::AppendInterface(file, {"line" + std::to_string(i % names), "", std::nullopt, ""});
      pcapng::AppendPacket(file, static_cast<std::uint32_t>(i), kNoon + i * 1000, bytes, 8, {});
    }
    std::ofstream(path.toStdString(), std::ios::binary) << file;
  };
  const QString twoLines = CaptureFolder() + "/two-lines.pcapng";
  const QString manyLines = CaptureFolder() + "/300-lines.pcapng";
  write(twoLines, 2);
  write(manyLines, 300);
  StartProgram();

  ASSERT_TRUE(Window().OpenCapture(twoLines)) << reports_.Text();
  EXPECT_TRUE(reports_.empty()) << reports_.Text();
  EXPECT_EQ(Window().Log().PacketCount(), 300);
  EXPECT_EQ(Window().Log().LineNames(), QStringList({"line0", "line1"}));

  Window().OpenCapture(manyLines);
  ASSERT_EQ(reports_.size(), 1);
  EXPECT_EQ(reports_[0], "Cannot read the capture " + manyLines +
                             ": its packets come on more than 256 lines, more than the log tells apart. "
                             "The 256 packets before it are shown.");
  EXPECT_EQ(Window().Log().PacketCount(), 256);
}

// An opened file is timed by the line it was captured on, not the port as
// it is set now; a file that does not say how its line was set, as unknown.
TEST_F(CaptureRecordingTest, OpenedFile_TimedByItsOwnLine) {
  QDir().mkpath(CaptureFolder());
  const QString path = CaptureFolder() + "/even.pcapng";
  {
    CaptureFileWriter writer(path.toStdString(), CaptureFileFormat::kPcapng, "test");
    const std::uint8_t bytes[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    const std::uint32_t even = writer.AddInterface({"ttyS1", "ttyS1 19200 8E1, packets end after 2 ms of silence", 19200});
    writer.AddPacket(even, bytes, 8, {kNoon, kNoon + 4'000, kNoon + 6'000});
    writer.AddComment("\u2014 Link lost \u2014");
    // The line set anew mid-capture: a second interface.
    const std::uint32_t slow = writer.AddInterface({"ttyS1", "ttyS1 1200 7N1, packets end after 40 ms of silence", 1200});
    writer.AddPacket(slow, bytes, 8, {kNoon + 90'000, kNoon + 150'000, kNoon + 190'000});
    writer.AddPacket(even, bytes, 8, {kNoon + 290'000, kNoon + 294'000, kNoon + 296'000});
    writer.Close();
  }
  StartProgram();
  const modbus::LineTiming live = Window().Analysis().Timing();
  ASSERT_TRUE(Window().OpenCapture(path)) << reports_.Text();
  // Rows: the first packet, the note, then one packet on each line.
  const auto timingOfRow = [this](int row) {
    Window().Analysis().GoToRow(row);
    return Window().Analysis().Timing();
  };
  EXPECT_EQ(timingOfRow(0).bitsPerSecond, 19200);
  EXPECT_EQ(timingOfRow(0).bitsPerCharacter, 11);
  EXPECT_EQ(timingOfRow(2).bitsPerSecond, 1200);
  EXPECT_EQ(timingOfRow(2).bitsPerCharacter, 9);
  EXPECT_EQ(timingOfRow(3).bitsPerSecond, 19200);
  ASSERT_TRUE(Window().OpenCapture(WriteCapture("foreign.pcapng")));
  EXPECT_FALSE(Window().Analysis().Timing().Known());
  // A new capture in the file's place is timed by the port again.
  Answer(QMessageBox::Yes);
  ClickStart();
  EXPECT_EQ(Window().Analysis().Timing().bitsPerSecond, live.bitsPerSecond);
}

TEST_F(CaptureRecordingTest, FileCutAnywhereInItsLastBlock_OpensWithItsWholePackets) {
  const QString path = WriteCapture("whole.pcapng");
  std::string bytes;
  {
    std::ifstream file(path.toStdString(), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), {});
  }
  // The last block is the second packet's (with the note it carries).
  const std::size_t lastBlock = bytes.size() - static_cast<unsigned char>(bytes[bytes.size() - 4]);
  const QString cut = CaptureFolder() + "/cut.pcapng";
  StartProgram();
  for (std::size_t length = lastBlock; length < bytes.size(); ++length) {
    std::ofstream(cut.toStdString(), std::ios::binary | std::ios::trunc).write(bytes.data(), length);
    ASSERT_TRUE(Window().OpenCapture(cut)) << "cut at " << length << ": " << reports_.Text();
    EXPECT_EQ(Window().Log().PacketCount(), 1) << "cut at " << length;
    EXPECT_EQ(Window().Panels().currentMessage().endsWith(" (its unfinished last block left out)"),
              length > lastBlock)
        << Window().Panels().currentMessage().toStdString();
  }
}

TEST_F(CaptureRecordingTest, OpenWhileCapturing_AsksFirst_StartAfterAsksAgain) {
  const QString path = WriteCapture("earlier.pcapng");
  PtyPair line;
  StartSerialOn(line);
  line.Send(std::string_view("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8));
  ASSERT_TRUE(WaitForPackets(1));

  Answer(QMessageBox::Cancel);
  EXPECT_FALSE(Window().OpenCapture(path));
  EXPECT_TRUE(Links().ComPort().Connected());
  EXPECT_EQ(Window().Log().PacketCount(), 1);

  Answer(QMessageBox::Yes);
  EXPECT_TRUE(Window().OpenCapture(path));
  EXPECT_FALSE(Links().ComPort().Connected());
  EXPECT_EQ(Window().Log().PacketCount(), 3);
  ASSERT_EQ(questions_.size(), 2);
  EXPECT_EQ(questions_[1], "A capture is running. Stop it and open " + path + "?");
  EXPECT_EQ(RecentCaptures(StoreDirectory()), QStringList{path});

  Answer(QMessageBox::Yes);
  ClickStart();
  EXPECT_EQ(questions_.last(), "The log shows the capture " + path + ". Start a new capture in its place?");
  EXPECT_TRUE(Links().ComPort().Connected());
  EXPECT_EQ(Window().Log().PacketCount(), 0);
}

TEST(RecentCapturesTest, NewestFirst_NoTwice_AtMostTen) {
  TemporaryFolder store;
  for (int i = 0; i < 12; ++i) RememberRecentCapture(store.Path(), QStringLiteral("/c/%1.pcapng").arg(i));
  RememberRecentCapture(store.Path(), QStringLiteral("/c/5.pcapng"));
  const QStringList recent = RecentCaptures(store.Path());
  ASSERT_EQ(recent.size(), kRecentCaptures);
  EXPECT_EQ(recent[0], "/c/5.pcapng");
  EXPECT_EQ(recent[1], "/c/11.pcapng");
  EXPECT_EQ(recent.count("/c/5.pcapng"), 1);
  EXPECT_FALSE(recent.contains("/c/1.pcapng"));
}

}  // namespace
}  // namespace tessaly::test
