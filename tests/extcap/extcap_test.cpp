// The Wireshark interface: its answers to Wireshark's questions, a capture
// into a FIFO as Wireshark reads it, and the Lua plugin that has Wireshark
// decode what it captures.
#include "capture_file/capture_file_reader.h"
#include "capture_file/capture_file_writer.h"
#include "extcap/extcap_answers.h"
#include "extcap/extcap_request.h"
#include "tests/support/pty_pair.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace tessaly::extcap {
namespace {

using namespace std::chrono_literals;

QString Ask(const QStringList& arguments) {
  QProcess program;
  program.start(QStringLiteral(TESSALY_EXTCAP_PROGRAM), arguments);
  EXPECT_TRUE(program.waitForFinished(60'000));
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  return QString::fromUtf8(program.readAllStandardOutput());
}

// Every line is a sentence Wireshark reads: a keyword, then {key=value}s.
void ExpectSentences(const QString& answer) {
  static const QRegularExpression sentence(QStringLiteral(R"(^(extcap|interface|dlt|arg|value) (\{[a-z]+=([^{}\\]|\\.)*\})+$)"));
  // The argument types Debian 12's Wireshark (4.0) knows; it refuses others.
  static const QRegularExpression knownType(QStringLiteral(
      R"(\{type=(integer|unsigned|long|double|string|password|boolean|boolflag|fileselect|selector|radio|multicheck|timestamp)\})"));
  for (const QString& line : answer.split('\n', Qt::SkipEmptyParts)) {
    EXPECT_TRUE(sentence.match(line).hasMatch()) << line.toStdString();
    if (line.startsWith("arg ")) {
      EXPECT_TRUE(knownType.match(line).hasMatch()) << line.toStdString();
    }
  }
}

TEST(ExtcapTest, Interfaces_ThePortsAsThePortListNamesThem_AndAGateway) {
  test::PtyPair line;
  const QString answer = Ask({"--extcap-interfaces", "--extcap-version=4.0"});
  ExpectSentences(answer);
  EXPECT_TRUE(answer.startsWith("extcap {version=")) << answer.toStdString();
  const QString port = line.SlavePath().mid(QStringLiteral("/dev/").size());  // "pts/3", as the port list has it
  EXPECT_TRUE(answer.contains("interface {value=tessaly:" + port + "}{display=Tessaly " + QString(port).replace('/', '-') +
                              " (pseudo-terminal"))
      << answer.toStdString();
  EXPECT_TRUE(answer.contains("interface {value=tessaly-gateway}{display=Tessaly TCP serial gateway}"));
  // A label that holds braces cannot end its value early; Wireshark names
  // its temporary files after labels: nothing in them a path or a shell
  // would take for its own.
  EXPECT_NE(InterfacesAnswer({{"ttyUSB0", "USB: odd {name}"}}).find("{display=Tessaly ttyUSB0 (USB_ odd _name_)}"),
            std::string::npos);
  EXPECT_EQ(DisplayName("serial/by-id/usb-FTDI_FT232R-if00", "FTDI $HOME; `x` \"q\" *"),
            "Tessaly serial-by-id-usb-FTDI_FT232R-if00 (FTDI _HOME_ _x_ _q_ _)");
}

TEST(ExtcapTest, HelpAndVersion_AnswerAsACommandDoes) {
  const QString help = Ask({"--help"});
  EXPECT_TRUE(help.startsWith("Usage: tessaly-extcap ")) << help.toStdString();
  EXPECT_TRUE(help.endsWith("tessaly-record(1).\n")) << help.toStdString();
  const QString version = Ask({"--version"});
  EXPECT_TRUE(version.startsWith("tessaly-extcap ") && version.endsWith("\n") && version.count('\n') == 1)
      << version.toStdString();
}

TEST(ExtcapTest, LinkTypeAndConfig_LinkType147_LineSettingsWithOneDefaultEach) {
  const QString dlts = Ask({"--extcap-interface", "tessaly:ttyS0", "--extcap-dlts"});
  ExpectSentences(dlts);
  EXPECT_TRUE(dlts.startsWith("dlt {number=147}{name=USER0}"));

  const QString serial = Ask({"--extcap-interface", "tessaly:ttyS0", "--extcap-config"});
  ExpectSentences(serial);
  for (const char* call : {"--baud", "--data-bits", "--parity", "--stop-bits", "--interval", "--read-interval", "--reconnect"}) {
    EXPECT_TRUE(serial.contains(QStringLiteral("{call=%1}").arg(call))) << call;
  }
  EXPECT_FALSE(serial.contains("--gateway"));
  // Each selector has exactly one value chosen before the user chooses.
  static const QRegularExpression selector(QStringLiteral(R"(^arg \{number=(\d+)\}.*\{type=selector\})"));
  int selectors = 0;
  for (const QString& line : serial.split('\n')) {
    const QRegularExpressionMatch found = selector.match(line);
    if (!found.hasMatch()) continue;
    ++selectors;
    const QStringList values = serial.split('\n').filter(QStringLiteral("value {arg=%1}").arg(found.captured(1)));
    EXPECT_EQ(values.filter("{default=true}").size(), 1) << line.toStdString();
  }
  EXPECT_EQ(selectors, 5);
  EXPECT_TRUE(serial.contains("{call=--other-baud}")) << "any speed besides the list's";

  const QString gateway = Ask({"--extcap-interface", "tessaly-gateway", "--extcap-config"});
  ExpectSentences(gateway);
  EXPECT_TRUE(gateway.contains("{call=--gateway}{display=Gateway}{type=string}{required=true}"));
  EXPECT_FALSE(gateway.contains("--parity")) << "the gateway sets its own line";
  EXPECT_FALSE(gateway.contains("--read-interval")) << "a gateway is no serial port";
}

TEST(ExtcapTest, CaptureRequest_BecomesTheRecordersCommandLine) {
  std::string error;
  const auto request = ParseExtcapRequest({"--capture", "--extcap-interface", "tessaly:ttyUSB0", "--fifo", "/tmp/f",
                                           "--extcap-capture-filter", "", "--baud", "19200", "--reconnect"},
                                          error);
  ASSERT_TRUE(request.has_value()) << error;
  EXPECT_EQ(RecorderArgumentsFor(*request, error),
            (std::vector<std::string>{"--serial", "/dev/ttyUSB0", "--baud", "19200", "--reconnect", "-q", "-w", "/tmp/f"}));

  const auto gateway = ParseExtcapRequest(
      {"--capture", "--extcap-interface", "tessaly-gateway", "--fifo", "/tmp/f", "--gateway", "127.0.0.1:502"}, error);
  ASSERT_TRUE(gateway.has_value());
  EXPECT_EQ(RecorderArgumentsFor(*gateway, error),
            (std::vector<std::string>{"--tcp", "127.0.0.1:502", "-q", "-w", "/tmp/f"}));

  // Any speed, typed in beside the list.
  const auto other = ParseExtcapRequest({"--capture", "--extcap-interface", "tessaly:ttyUSB0", "--fifo", "/tmp/f",
                                         "--baud", "9600", "--other-baud", "31250"},
                                        error);
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(RecorderArgumentsFor(*other, error),
            (std::vector<std::string>{"--serial", "/dev/ttyUSB0", "--baud", "9600", "--baud", "31250", "-q", "-w",
                                      "/tmp/f"}));
  // A gateway without its address: said as Wireshark's dialog says it.
  const auto noAddress =
      ParseExtcapRequest({"--capture", "--extcap-interface", "tessaly-gateway", "--fifo", "/tmp/f"}, error);
  ASSERT_TRUE(noAddress.has_value());
  EXPECT_FALSE(RecorderArgumentsFor(*noAddress, error).has_value());
  EXPECT_EQ(error, "the gateway's address is missing: give it in the interface's options in Wireshark "
                   "(Gateway, as 10.0.0.5:502)");

  const auto unknown = ParseExtcapRequest({"--capture", "--extcap-interface", "eth0", "--fifo", "/tmp/f"}, error);
  ASSERT_TRUE(unknown.has_value());
  EXPECT_FALSE(RecorderArgumentsFor(*unknown, error).has_value());
  EXPECT_EQ(error, "unknown interface 'eth0'");
  EXPECT_FALSE(ParseExtcapRequest({"--capture", "--extcap-interface", "tessaly:ttyS0"}, error).has_value());
  EXPECT_EQ(error, "--capture needs --fifo");
  EXPECT_FALSE(ParseExtcapRequest({"--extcap-dlts"}, error).has_value());
  EXPECT_EQ(error, "--extcap-interface is needed");
}

// As Wireshark captures: the program writes pcapng into a FIFO that
// Wireshark reads, until Wireshark stops it with SIGTERM.
TEST(ExtcapTest, CaptureIntoAFifo_PacketsArriveWhileItRuns) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath("capture");
  ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  const int reader = ::open(fifo.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  test::PtyPair line;
  QProcess capture;
  capture.start(QStringLiteral(TESSALY_EXTCAP_PROGRAM),
                {"--capture", "--extcap-interface", "tessaly:" + line.SlavePath().mid(5), "--fifo", fifo,
                 "--interval", "5"});
  // Listening once the line is raw (before, 0x03 would be an interrupt).
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  termios settings{};
  while (tcgetattr(line.Slave(), &settings) == 0 && (settings.c_lflag & ICANON) != 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  const std::string frame("\x01\x03\x00\x00\x00\x02\xC4\x0B", 8);
  line.Send(frame);
  std::string stream;
  std::size_t packets = 0;
  while (packets == 0 && std::chrono::steady_clock::now() < deadline) {
    char chunk[4096];
    const ssize_t count = ::read(reader, chunk, sizeof chunk);
    if (count > 0) stream.append(chunk, static_cast<std::size_t>(count));
    try {
      packets = ParseCaptureFile(stream, "fifo").packets.size();
    } catch (const CaptureFileError&) {
      // Not even a header yet.
    }
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_EQ(packets, 1u);
  ::kill(static_cast<pid_t>(capture.processId()), SIGTERM);
  ASSERT_TRUE(capture.waitForFinished(60'000));
  EXPECT_EQ(capture.exitCode(), 0) << capture.readAllStandardError().toStdString();
  ::close(reader);
  const CaptureFileContents contents = ParseCaptureFile(stream, "fifo");
  EXPECT_EQ(contents.interfaces.at(0).linkType, 147);
  EXPECT_EQ(contents.packets.at(0).bytes, std::vector<std::uint8_t>(frame.begin(), frame.end()));
}

// With the plugin, Wireshark's own reader decodes link type 147 as Modbus
// RTU with no table set up.
TEST(ExtcapTest, LuaPlugin_WiresharkDecodesModbusRtu_WhenInstalled) {
  if (std::system("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  QTemporaryDir dir;
  const std::string file = dir.filePath("line.pcapng").toStdString();
  {
    CaptureFileWriter writer(file, CaptureFileFormat::kPcapng, "test");
    writer.AddInterface({"ttyUSB0", "", 9600});
    const std::uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
    writer.AddPacket(0, request, 8, {1, 2, 3});
    writer.Close();
  }
  QProcess tshark;
  tshark.start("tshark", {"-X", QStringLiteral("lua_script:" TESSALY_LUA_PLUGIN), "-r", QString::fromStdString(file)});
  ASSERT_TRUE(tshark.waitForFinished(60'000));
  const QString decoded = QString::fromUtf8(tshark.readAllStandardOutput());
  EXPECT_TRUE(decoded.contains("Modbus RTU")) << decoded.toStdString();
  EXPECT_TRUE(decoded.contains("Read Holding Registers")) << decoded.toStdString();
}

// The plugin turns on Wireshark's CRC check: a bad CRC is told, a good
// one too.
TEST(ExtcapTest, LuaPlugin_TurnsOnTheCrcCheck_WhenInstalled) {
  if (std::system("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  QTemporaryDir dir;
  const std::string file = dir.filePath("crc.pcapng").toStdString();
  {
    CaptureFileWriter writer(file, CaptureFileFormat::kPcapng, "test");
    writer.AddInterface({"ttyUSB0", "", 9600});
    const std::uint8_t good[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
    const std::uint8_t bad[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0C};
    writer.AddPacket(0, good, 8, {1, 2, 3});
    writer.AddPacket(0, bad, 8, {4, 5, 6});
    writer.Close();
  }
  QProcess tshark;
  tshark.start("tshark", {"-X", QStringLiteral("lua_script:" TESSALY_LUA_PLUGIN), "-r", QString::fromStdString(file),
                          "-T", "fields", "-e", "mbrtu.crc16.status"});
  ASSERT_TRUE(tshark.waitForFinished(60'000));
  const QString statuses = QString::fromUtf8(tshark.readAllStandardOutput());
  // Wireshark's status values: 1 good, 0 bad.
  EXPECT_EQ(statuses, QStringLiteral("1\n0\n")) << statuses.toStdString();
}

}  // namespace
}  // namespace tessaly::extcap
