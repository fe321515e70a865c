// The recorder's command line: what it accepts, and every mistake refused
// with its reason (the program then prints the usage and exits with 1).
#include "recorder/record_options.h"

#include <gtest/gtest.h>

namespace tessaly::record {
namespace {

std::optional<RecordOptions> Parse(std::vector<std::string> arguments, std::string* reason = nullptr) {
  std::string error;
  std::optional<RecordOptions> options = ParseRecordOptions(arguments, error);
  if (reason != nullptr) *reason = error;
  return options;
}

TEST(RecordOptionsTest, AFullCommandLine_EveryValueTaken) {
  const std::optional<RecordOptions> options =
      Parse({"--serial", "/dev/ttyUSB0", "--baud", "19200", "--data-bits", "7", "--parity", "even", "--stop-bits",
             "1.5", "--interval", "3", "--read-interval", "1", "-w", "line.pcapng", "-b", "filesize:100", "-b", "duration:60", "-b",
             "files:5", "-a", "duration:3600", "-c", "1000", "-q", "--reconnect"});
  ASSERT_TRUE(options.has_value());
  EXPECT_EQ(options->link, LinkKind::kSerial);
  EXPECT_EQ(options->serialPath, "/dev/ttyUSB0");
  EXPECT_EQ(options->baud, 19200);
  EXPECT_EQ(options->dataBits, 7);
  EXPECT_EQ(options->parity, 'E');
  EXPECT_EQ(options->stopHalfBits, 3);
  EXPECT_EQ(options->intervalMs, 3);
  EXPECT_EQ(options->readIntervalMs, 1);
  EXPECT_EQ(options->outputPath, "line.pcapng");
  EXPECT_EQ(options->rotateKilobytes, 100u);
  EXPECT_EQ(options->rotateSeconds, 60u);
  EXPECT_EQ(options->ringFiles, 5u);
  EXPECT_EQ(options->stopSeconds, 3600u);
  EXPECT_EQ(options->stopPackets, 1000u);
  EXPECT_TRUE(options->quiet);
  EXPECT_TRUE(options->reconnect);

  const std::optional<RecordOptions> tcp = Parse({"--tcp", "127.0.0.1:502", "--format", "csv", "--decode"});
  ASSERT_TRUE(tcp.has_value());
  EXPECT_EQ(tcp->tcpAddress, "127.0.0.1");
  EXPECT_EQ(tcp->tcpPort, 502);
  EXPECT_EQ(tcp->lineFormat, LineFormat::kCsv);
  EXPECT_TRUE(tcp->decode);

  const std::optional<RecordOptions> aligned =
      Parse({"--serial", "/dev/ttyUSB0", "-w", "a.pcapng", "-b", "interval:3600", "-b", "printname:stderr"});
  ASSERT_TRUE(aligned.has_value());
  EXPECT_EQ(aligned->rotateInterval, 3600u);
  EXPECT_EQ(aligned->printFinished, "stderr");
}

// A second link makes a second line; the line settings after it are its
// own, and those before it stay the first line's.
TEST(RecordOptionsTest, TwoLines_SettingsAfterTheSecondLinkAreItsOwn) {
  const std::optional<RecordOptions> options =
      Parse({"--baud", "9600", "--serial", "/dev/ttyS0", "--interval", "5", "--name", "master", "--tcp",
             "127.0.0.1:4001", "--baud", "19200", "-w", "tap.pcapng"});
  ASSERT_TRUE(options.has_value());
  EXPECT_EQ(options->serialPath, "/dev/ttyS0");
  EXPECT_EQ(options->baud, 9600);
  EXPECT_EQ(options->intervalMs, 5);
  EXPECT_EQ(options->name, "master");
  ASSERT_TRUE(options->secondLine.has_value());
  EXPECT_EQ(options->secondLine->link, LinkKind::kTcp);
  EXPECT_EQ(options->secondLine->tcpPort, 4001);
  EXPECT_EQ(options->secondLine->baud, 19200);
  EXPECT_FALSE(options->secondLine->intervalMs.has_value());
  EXPECT_EQ(options->secondLine->name, "B");

  const std::optional<RecordOptions> one = Parse({"--serial", "/dev/ttyS0"});
  ASSERT_TRUE(one.has_value());
  EXPECT_FALSE(one->secondLine.has_value());
  EXPECT_EQ(one->name, "");
}

TEST(RecordOptionsTest, Mistakes_RefusedWithTheirReason) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "say which line to listen to: --serial PATH, --tcp ADDRESS:PORT or --settings"},
      {{"--serial"}, "'--serial' needs a value"},
      {{"--serial", "/dev/ttyS0", "--tcp", "127.0.0.1:502", "--serial", "/dev/ttyS1"},
       "give at most two lines: --serial or --tcp, twice"},
      {{"--serial", "/dev/ttyS0", "--serial", "/dev/ttyS1", "-w", "x.pcap", "--pcap"},
       "--pcap cannot tell two lines apart: leave it out to write pcapng"},
      {{"--serial", "/dev/ttyS0", "--name", "m", "--serial", "/dev/ttyS1", "--name", "m"},
       "give the two lines different names"},
      {{"--tcp", "gateway.local:502"}, "bad value 'gateway.local:502' for --tcp"},
      {{"--tcp", "127.0.0.1:0"}, "bad value '127.0.0.1:0' for --tcp"},
      {{"--tcp", "127.0.0.1"}, "bad value '127.0.0.1' for --tcp"},
      {{"--serial", "/dev/ttyS0", "--baud", "fast"}, "bad value 'fast' for --baud"},
      {{"--serial", "/dev/ttyS0", "--baud", "-9600"}, "bad value '-9600' for --baud"},
      {{"--serial", "/dev/ttyS0", "--data-bits", "9"}, "bad value '9' for --data-bits"},
      {{"--serial", "/dev/ttyS0", "--parity", "N"}, "bad value 'N' for --parity"},
      {{"--serial", "/dev/ttyS0", "--stop-bits", "3"}, "bad value '3' for --stop-bits"},
      {{"--serial", "/dev/ttyS0", "--interval", "0"}, "bad value '0' for --interval"},
      {{"--serial", "/dev/ttyS0", "--read-interval", "0"}, "bad value '0' for --read-interval"},
      {{"--serial", "/dev/ttyS0", "-w", "a", "-b", "size:10"}, "bad value 'size:10' for -b"},
      {{"--serial", "/dev/ttyS0", "-w", "a", "-b", "filesize:0"}, "bad value 'filesize:0' for -b"},
      {{"--serial", "/dev/ttyS0", "-a", "packets:10"}, "bad value 'packets:10' for -a"},
      {{"--serial", "/dev/ttyS0", "-c", "0"}, "bad value '0' for -c"},
      {{"--serial", "/dev/ttyS0", "--format", "json"}, "bad value 'json' for --format"},
      {{"--serial", "/dev/ttyS0", "--frobnicate"}, "'--frobnicate' needs a value"},
      {{"--serial", "/dev/ttyS0", "--frobnicate", "1"}, "unknown option '--frobnicate'"},
      {{"--serial", "/dev/ttyS0", "-b", "filesize:10"}, "-b needs -w with a file name"},
      {{"--serial", "/dev/ttyS0", "-w", "-", "-b", "duration:10"}, "-b needs -w with a file name"},
      {{"--serial", "/dev/ttyS0", "-w", "a", "-b", "files:3"},
       "-b files:N needs -b filesize:KB, -b duration:SECONDS or -b interval:SECONDS"},
      {{"--serial", "/dev/ttyS0", "-b", "printname:stdout"}, "-b needs -w with a file name"},
      {{"--serial", "/dev/ttyS0", "-w", "a", "-b", "interval:0"}, "bad value 'interval:0' for -b"},
      {{"--serial", "/dev/ttyS0", "--pcap"}, "--pcap needs -w"},
      {{"--serial", "/dev/ttyS0", "-w", "a", "--decode"},
       "--decode and --format are for lines on standard output, not with -w"},
  };
  for (const auto& [arguments, reason] : cases) {
    std::string error;
    EXPECT_FALSE(Parse(arguments, &error).has_value()) << reason;
    EXPECT_EQ(error, reason);
  }
}

}  // namespace
}  // namespace tessaly::record
