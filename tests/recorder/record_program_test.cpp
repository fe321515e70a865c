// tessaly-record run as a user runs it: a process on a pseudo-terminal or a
// loopback gateway, stopped by a signal or by its own limits, its files read
// back. Nothing here asserts how fast anything happens.
#include "capture_file/capture_file_reader.h"
#include "capture_file/capture_file_writer.h"
#include "tests/support/loopback.h"
#include "tests/support/pty_pair.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace tessaly {
namespace {

using namespace std::chrono_literals;

const std::string kRequest("\x01\x03\x00\x00\x00\x02\xC4\x0B", 8);
const std::string kAnswer("\x01\x03\x04\x00\x2A\x00\x07\x9A\x39", 9);

std::vector<std::uint8_t> BytesOf(const std::string& text) { return {text.begin(), text.end()}; }

template <class Condition>
bool WaitFor(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    // The recorder's output reaches its QProcess through events.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// The packets of a capture file that may still be written; none while it
// cannot be read yet.
std::vector<CapturedPacket> PacketsIn(const std::string& path) {
  try {
    return ReadCaptureFile(path).packets;
  } catch (const CaptureFileError&) {
    return {};
  }
}

class Recording {
 public:
  explicit Recording(const QStringList& arguments) {
    process_.start(QStringLiteral(TESSALY_RECORD_PROGRAM), arguments);
    process_.waitForStarted();
  }
  ~Recording() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished();
    }
  }

  // Whether the recorder holds the file open (its port, once opened).
  bool Holds(const QString& path) const {
    const std::filesystem::path target = std::filesystem::canonical(path.toStdString());
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(process_.processId()) + "/fd", error)) {
      std::error_code ignored;
      if (std::filesystem::read_symlink(fd.path(), ignored) == target) return true;
    }
    return false;
  }
  bool WaitUntilHolding(const QString& path) const { return WaitFor([&] { return Holds(path); }); }
  // Until the recorder has opened the line and set it up: a line not yet
  // raw would still take 0x03 as an interrupt and drop what came before it.
  bool WaitUntilListening(const test::PtyPair& line) const {
    return WaitUntilHolding(line.SlavePath()) && WaitFor([&] {
             termios settings{};
             return tcgetattr(line.Slave(), &settings) == 0 && (settings.c_lflag & ICANON) == 0;
           });
  }

  void Signal(int number) const { ::kill(static_cast<pid_t>(process_.processId()), number); }
  // Waits for the end; the exit status.
  int Finish() {
    EXPECT_TRUE(process_.waitForFinished(60'000));
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }
  // Everything it said on standard error so far.
  QString ErrorText() {
    errors_ += QString::fromUtf8(process_.readAllStandardError());
    return errors_;
  }
  QProcess& Process() { return process_; }

 private:
  QProcess process_;
  QString errors_;
};

class RecordProgramTest : public testing::Test {
 protected:
  QString PathOf(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  QTemporaryDir dir_;
};

TEST_F(RecordProgramTest, BadArguments_UsageOnStandardErrorAndStatus1) {
  Recording recording({"--serial", "/dev/null", "--baud", "fast"});
  EXPECT_EQ(recording.Finish(), 1);
  const QString error = recording.ErrorText();
  EXPECT_TRUE(error.startsWith("tessaly-record: bad value 'fast' for --baud\nusage: tessaly-record")) << error.toStdString();
}

// Frames on a pseudo-terminal, then SIGTERM while a packet still runs: the
// file holds every frame, cut at the silences, and that last packet too.
TEST_F(RecordProgramTest, SerialToPcapng_SigtermMidPacket_FileWholeWithThatPacket) {
  test::PtyPair line;
  const QString file = PathOf("line.pcapng");
  Recording recording({"--serial", line.SlavePath(), "--baud", "9600", "--interval", "300", "-w", file});
  ASSERT_TRUE(recording.WaitUntilListening(line));
  line.Send(kRequest);
  ASSERT_TRUE(WaitFor([&] { return PacketsIn(file.toStdString()).size() == 1; }));
  line.Send(kAnswer.substr(0, 4));  // the packet runs: its silence is 300 ms
  std::this_thread::sleep_for(20ms);
  recording.Signal(SIGTERM);
  EXPECT_EQ(recording.Finish(), 0) << recording.ErrorText().toStdString();
  EXPECT_EQ(recording.ErrorText(), "") << "nothing on a standard error that is no terminal";

  const CaptureFileContents contents = ReadCaptureFile(file.toStdString());
  EXPECT_FALSE(contents.torn);
  ASSERT_EQ(contents.interfaces.size(), 1u);
  EXPECT_EQ(contents.interfaces[0].linkType, 147);
  EXPECT_EQ(contents.interfaces[0].link.name, line.SlavePath().toStdString());
  EXPECT_EQ(contents.interfaces[0].link.bitsPerSecond, 9600u);
  EXPECT_NE(contents.interfaces[0].link.description.find("300 ms"), std::string::npos);
  ASSERT_EQ(contents.packets.size(), 2u);
  EXPECT_EQ(contents.packets[0].bytes, BytesOf(kRequest));
  EXPECT_EQ(contents.packets[1].bytes, BytesOf(kAnswer.substr(0, 4)));
  ASSERT_TRUE(contents.packets[0].firstByte.has_value());
  EXPECT_LE(*contents.packets[0].firstByte, contents.packets[0].stamp);

  if (std::system("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  QProcess tshark;
  tshark.start("tshark", {"-r", file, "-T", "fields", "-e", "frame.len"});
  ASSERT_TRUE(tshark.waitForFinished(60'000));
  EXPECT_EQ(tshark.readAllStandardOutput(), "8\n4\n");
}

// -w - : a reader of the pipe has the header and each packet while the
// recorder still runs.
TEST_F(RecordProgramTest, StandardOutput_ReadableWhileWritten) {
  test::PtyPair line;
  Recording recording({"--serial", line.SlavePath(), "--interval", "5", "-w", "-"});
  ASSERT_TRUE(recording.WaitUntilListening(line));
  line.Send(kRequest);
  QByteArray stream;
  ASSERT_TRUE(WaitFor([&] {
    recording.Process().waitForReadyRead(10);
    stream += recording.Process().readAllStandardOutput();
    try {
      return ParseCaptureFile(std::string_view(stream.constData(), stream.size()), "-").packets.size() == 1;
    } catch (const CaptureFileError&) {
      return false;
    }
  }));
  EXPECT_EQ(recording.Process().state(), QProcess::Running);
  recording.Signal(SIGINT);
  EXPECT_EQ(recording.Finish(), 0);
  stream += recording.Process().readAllStandardOutput();
  const CaptureFileContents contents = ParseCaptureFile(std::string_view(stream.constData(), stream.size()), "-");
  EXPECT_FALSE(contents.torn);
  ASSERT_EQ(contents.packets.size(), 1u);
  EXPECT_EQ(contents.packets[0].bytes, BytesOf(kRequest));
}

// A file of 1 kB at most, three kept: the oldest go, each kept file is whole
// on its own, and the newest ends with the last frame.
TEST_F(RecordProgramTest, RotationBySize_RingKeepsTheNewestFiles) {
  test::PtyPair line;
  const QString base = PathOf("ring.pcapng");
  Recording recording({"--serial", line.SlavePath(), "--interval", "1", "-w", base, "-b", "filesize:1", "-b", "files:3"});
  ASSERT_TRUE(recording.WaitUntilListening(line));
  constexpr int kFrames = 60;
  for (int i = 0; i < kFrames; ++i) {
    std::string frame = kAnswer;
    frame[4] = static_cast<char>(i);
    line.Send(frame);
    std::this_thread::sleep_for(20ms);
  }
  const auto files = [&] { return QDir(dir_.path()).entryList({"ring_*.pcapng"}, QDir::Files, QDir::Name); };
  ASSERT_TRUE(WaitFor([&] {
    const QStringList names = files();
    if (names.isEmpty()) return false;
    const std::vector<CapturedPacket> packets = PacketsIn(dir_.filePath(names.last()).toStdString());
    return !packets.empty() && packets.back().bytes[4] == kFrames - 1;
  }));
  recording.Signal(SIGTERM);
  EXPECT_EQ(recording.Finish(), 0);
  const QStringList names = files();
  ASSERT_EQ(names.size(), 3) << names.join(' ').toStdString();
  EXPECT_FALSE(names.first().startsWith("ring_00001_")) << "the oldest file was removed";
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    const CaptureFileContents contents = ReadCaptureFile(dir_.filePath(name).toStdString());
    EXPECT_FALSE(contents.torn);
    EXPECT_EQ(contents.interfaces.size(), 1u);
  }
}

TEST_F(RecordProgramTest, RotationByTime_EachFileWhole) {
  test::PtyPair line;
  const QString base = PathOf("hourly.pcap");
  Recording recording({"--serial", line.SlavePath(), "-w", base, "--pcap", "-b", "duration:1"});
  ASSERT_TRUE(recording.WaitUntilListening(line));
  const auto files = [&] { return QDir(dir_.path()).entryList({"hourly_*.pcap"}, QDir::Files, QDir::Name); };
  ASSERT_TRUE(WaitFor([&] { return files().size() >= 2; }));
  recording.Signal(SIGHUP);
  EXPECT_EQ(recording.Finish(), 0);
  for (const QString& name : files()) {
    const CaptureFileContents contents = ReadCaptureFile(dir_.filePath(name).toStdString());
    EXPECT_EQ(contents.format, CaptureFileFormat::kPcap);
    EXPECT_FALSE(contents.torn);
  }
}

TEST_F(RecordProgramTest, HangUp_ToldWithThePort_Status2) {
  test::PtyPair line;
  Recording recording({"--serial", line.SlavePath(), "--interval", "5"});
  ASSERT_TRUE(recording.WaitUntilListening(line));
  line.Send(kRequest);
  // The kernel drops what the port has not read when the line hangs up.
  QByteArray lines;
  ASSERT_TRUE(WaitFor([&] {
    recording.Process().waitForReadyRead(10);
    lines += recording.Process().readAllStandardOutput();
    return lines.endsWith(" 01 03 00 00 00 02 C4 0B\n");
  }));
  line.HangUp();
  EXPECT_EQ(recording.Finish(), 2);
  const QString error = recording.ErrorText();
  EXPECT_TRUE(error.contains("Port " + line.SlavePath() + " was closed")) << error.toStdString();
}

// Both directions of a tap, one pseudo-terminal each: one file, in order,
// with an interface per line named as given; then one line hangs up, is
// told by its name, and the other goes on recording.
TEST_F(RecordProgramTest, TwoLines_OneFileInOrder_ALineLostTheOtherGoesOn) {
  test::PtyPair master;
  test::PtyPair slave;
  const QString file = PathOf("tap.pcapng");
  Recording recording({"--serial", master.SlavePath(), "--interval", "20", "--name", "master", "--serial",
                       slave.SlavePath(), "--interval", "5", "--name", "slave", "-w", file});
  ASSERT_TRUE(recording.WaitUntilListening(master));
  ASSERT_TRUE(recording.WaitUntilListening(slave));
  for (int i = 0; i < 3; ++i) {
    master.Send(kRequest);
    // The answer's 5 ms silence ends before the request's 20 ms one.
    std::this_thread::sleep_for(8ms);
    slave.Send(kAnswer);
    std::this_thread::sleep_for(100ms);
  }
  ASSERT_TRUE(WaitFor([&] { return PacketsIn(file.toStdString()).size() == 6; }));
  slave.HangUp();
  ASSERT_TRUE(WaitFor([&] { return recording.ErrorText().contains("Recording the other line on."); }));
  EXPECT_TRUE(recording.ErrorText().contains("line slave: Port " + slave.SlavePath() + " was closed"))
      << recording.ErrorText().toStdString();
  master.Send(kRequest);
  ASSERT_TRUE(WaitFor([&] { return PacketsIn(file.toStdString()).size() == 7; }));
  recording.Signal(SIGTERM);
  EXPECT_EQ(recording.Finish(), 0);

  const CaptureFileContents contents = ReadCaptureFile(file.toStdString());
  ASSERT_EQ(contents.interfaces.size(), 2u);
  EXPECT_EQ(contents.interfaces[0].link.name, master.SlavePath().toStdString());
  EXPECT_EQ(contents.interfaces[0].link.lineName, "master");
  EXPECT_EQ(contents.interfaces[1].link.lineName, "slave");
  ASSERT_EQ(contents.packets.size(), 7u);
  for (std::size_t i = 0; i < 7; ++i) {
    const bool request = i % 2 == 0;
    EXPECT_EQ(contents.packets[i].interfaceId, request ? 0u : 1u) << i;
    EXPECT_EQ(contents.packets[i].bytes, BytesOf(request ? kRequest : kAnswer)) << i;
  }

  if (std::system("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  QProcess tshark;
  tshark.start("tshark", {"-r", file, "-T", "fields", "-e", "frame.interface_id"});
  ASSERT_TRUE(tshark.waitForFinished(60'000));
  EXPECT_EQ(tshark.readAllStandardOutput(), "0\n1\n0\n1\n0\n1\n0\n");
}

// A port at a path that goes and comes back (a symbolic link, as udev
// makes for an adapter): the recording goes on in the same file, and the
// gap is noted there.
TEST_F(RecordProgramTest, Reconnect_PortBackAtTheSamePath_GapNotedInTheFile) {
  const QString link = PathOf("ttyModbus");
  auto first = std::make_unique<test::PtyPair>();
  std::filesystem::create_symlink(first->SlavePath().toStdString(), link.toStdString());
  const QString file = PathOf("line.pcapng");
  Recording recording({"--serial", link, "--interval", "5", "--reconnect", "-w", file});
  ASSERT_TRUE(recording.WaitUntilListening(*first));
  first->Send(kRequest);
  ASSERT_TRUE(WaitFor([&] { return PacketsIn(file.toStdString()).size() == 1; }));
  first->HangUp();
  ASSERT_TRUE(WaitFor([&] { return recording.ErrorText().contains("Trying again every second."); }));
  first.reset();

  test::PtyPair second;
  const std::string fresh = link.toStdString() + ".new";
  std::filesystem::create_symlink(second.SlavePath().toStdString(), fresh);
  std::filesystem::rename(fresh, link.toStdString());
  ASSERT_TRUE(recording.WaitUntilListening(second));
  second.Send(kAnswer);
  ASSERT_TRUE(WaitFor([&] { return PacketsIn(file.toStdString()).size() == 2; }));
  recording.Signal(SIGTERM);
  EXPECT_EQ(recording.Finish(), 0);

  const CaptureFileContents contents = ReadCaptureFile(file.toStdString());
  ASSERT_EQ(contents.packets.size(), 2u);
  EXPECT_EQ(contents.packets[1].bytes, BytesOf(kAnswer));
  ASSERT_EQ(contents.packets[1].comments.size(), 3u);  // first byte, last byte, the gap
  EXPECT_TRUE(contents.packets[1].comments[2].starts_with("no capture from ")) << contents.packets[1].comments[2];
}

TEST_F(RecordProgramTest, FailuresAtStart_NameWhatFailed_Status2ForTheLink3ForTheFile) {
  {
    Recording recording({"--serial", PathOf("no-such-port"), "-w", PathOf("a.pcapng")});
    EXPECT_EQ(recording.Finish(), 2);
    EXPECT_TRUE(recording.ErrorText().contains("Cannot open " + PathOf("no-such-port")));
  }
  {
    Recording recording({"--serial", "/dev/null", "-w", PathOf("no-such-folder/a.pcapng")});
    EXPECT_EQ(recording.Finish(), 3);
    EXPECT_EQ(recording.ErrorText(), "tessaly-record: Cannot write the capture to " + PathOf("no-such-folder/a.pcapng") +
                                         ": No such file or directory\n");
  }
  {
    const int port = test::UnusedLoopbackPort();
    Recording recording({"--tcp", QStringLiteral("127.0.0.1:%1").arg(port)});
    EXPECT_EQ(recording.Finish(), 2);
    EXPECT_TRUE(recording.ErrorText().startsWith(QStringLiteral("tessaly-record: Cannot connect to 127.0.0.1:%1").arg(port)))
        << recording.ErrorText().toStdString();
  }
}

// A disk that fills while recording: one message naming the file and the
// cause, status 3.
TEST_F(RecordProgramTest, DiskFull_OneMessage_Status3) {
  test::PtyPair line;
  Recording recording({"--serial", line.SlavePath(), "--interval", "5", "-w", "/dev/full"});
  EXPECT_EQ(recording.Finish(), 3);
  EXPECT_EQ(recording.ErrorText(), "tessaly-record: Cannot write the capture to /dev/full: No space left on device\n");
}

TEST_F(RecordProgramTest, GatewayGone_ToldWithTheGateway_Status2) {
  test::LoopbackListener gateway;
  Recording recording({"--tcp", QStringLiteral("127.0.0.1:%1").arg(gateway.Port()), "--interval", "5"});
  test::Descriptor far = gateway.Accept();
  ASSERT_GE(far.Fd(), 0);
  far.Send(kRequest);
  far.Close();
  EXPECT_EQ(recording.Finish(), 2);
  EXPECT_EQ(recording.ErrorText(), QStringLiteral("tessaly-record: The connection to 127.0.0.1:%1 ended: the gateway "
                                                  "closed the connection.\n")
                                       .arg(gateway.Port()));
  EXPECT_TRUE(recording.Process().readAllStandardOutput().endsWith(" 01 03 00 00 00 02 C4 0B\n"))
      << "the bytes before the end are kept";
}

// From a gateway, as lines, until a number of packets.
TEST_F(RecordProgramTest, GatewayToCsvLines_StopsAfterTheCount) {
  test::LoopbackListener gateway;
  Recording recording({"--tcp", QStringLiteral("127.0.0.1:%1").arg(gateway.Port()), "--interval", "5", "--format",
                       "csv", "--decode", "-c", "2"});
  const test::Descriptor far = gateway.Accept();
  ASSERT_GE(far.Fd(), 0);
  far.Send(kRequest);
  std::this_thread::sleep_for(50ms);
  far.Send(kAnswer);
  std::this_thread::sleep_for(50ms);
  far.Send(kRequest);  // beyond the count
  EXPECT_EQ(recording.Finish(), 0) << recording.ErrorText().toStdString();
  const QStringList lines = QString::fromLatin1(recording.Process().readAllStandardOutput()).split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << lines.join('|').toStdString();
  EXPECT_EQ(lines[0], "Date and time,Time,Bytes,Data,Modbus");
  EXPECT_TRUE(lines[1].contains(",8,01 03 00 00 00 02 C4 0B,\"Good frame; Unit: 1;")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].contains("Direction: Response")) << lines[2].toStdString();
}

}  // namespace
}  // namespace tessaly
