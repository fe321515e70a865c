// The line configuration asked of the device, for every value of every
// setting. Checked on the structure itself: a pseudo-terminal keeps neither
// the character size nor the parity, so a device could not tell.
#include "links/serial/line_config_linux.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace tessaly {
namespace {

// A line as a terminal leaves it: cooked, 7E2 with handshaking and XON/XOFF,
// plus HUPCL, which the settings do not govern.
termios2 CookedLine() {
  termios2 line{};
  line.c_iflag = ICRNL | IXON | IXOFF | INPCK | ISTRIP | BRKINT;
  line.c_oflag = OPOST | ONLCR;
  line.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
  line.c_cflag = B38400 | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 5;
  return line;
}

// The governed flags that are set, then input/output speed.
std::string Governed(const termios2& line) {
  static const std::pair<tcflag_t, const char*> sizes[] = {{CS5, "CS5"}, {CS6, "CS6"}, {CS7, "CS7"}, {CS8, "CS8"}};
  std::string text;
  for (const auto& [size, name] : sizes) {
    if ((line.c_cflag & CSIZE) == size) text = name;
  }
  const auto flag = [&text](bool set, const char* name) {
    if (set) text = text + ' ' + name;
  };
  flag(line.c_cflag & PARENB, "PARENB");
  flag(line.c_cflag & PARODD, "PARODD");
  flag(line.c_cflag & CMSPAR, "CMSPAR");
  flag(line.c_cflag & CSTOPB, "CSTOPB");
  flag(line.c_cflag & CRTSCTS, "CRTSCTS");
  flag(line.c_iflag & IXON, "IXON");
  flag(line.c_iflag & IXOFF, "IXOFF");
  flag(line.c_iflag & INPCK, "INPCK");
  return text + ' ' + std::to_string(line.c_ispeed) + '/' + std::to_string(line.c_ospeed);
}

struct Row {
  const char* name;
  std::function<void(TLineSettings&)> change;
  const char* governed;
};

class LineTermiosTest : public testing::TestWithParam<Row> {};

TEST_P(LineTermiosTest, SettingsGiveTheirFlagsAndRate) {
  TLineSettings settings;
  GetParam().change(settings);
  EXPECT_EQ(Governed(LineTermios(CookedLine(), settings)), GetParam().governed);
}

INSTANTIATE_TEST_SUITE_P(
    EveryValue, LineTermiosTest,
    testing::Values(
        Row{"Defaults", [](TLineSettings&) {}, "CS8 9600/9600"},
        Row{"FiveBits", [](TLineSettings& s) { s.dataBits = dbFive; }, "CS5 9600/9600"},
        Row{"SixBits", [](TLineSettings& s) { s.dataBits = dbSix; }, "CS6 9600/9600"},
        Row{"SevenBits", [](TLineSettings& s) { s.dataBits = dbSeven; }, "CS7 9600/9600"},
        Row{"Odd", [](TLineSettings& s) { s.parity = prOdd; }, "CS8 PARENB PARODD 9600/9600"},
        Row{"Even", [](TLineSettings& s) { s.parity = prEven; }, "CS8 PARENB 9600/9600"},
        Row{"Mark", [](TLineSettings& s) { s.parity = prMark; }, "CS8 PARENB PARODD CMSPAR 9600/9600"},
        Row{"Space", [](TLineSettings& s) { s.parity = prSpace; }, "CS8 PARENB CMSPAR 9600/9600"},
        Row{"ParityChecked", [](TLineSettings& s) { s.parity = prEven; s.parityCheck = true; },
            "CS8 PARENB INPCK 9600/9600"},
        Row{"OneAndAHalfStopBits", [](TLineSettings& s) { s.stopBits = sbOne5StopBits; }, "CS8 CSTOPB 9600/9600"},
        Row{"TwoStopBits", [](TLineSettings& s) { s.stopBits = sbTwoStopBits; }, "CS8 CSTOPB 9600/9600"},
        Row{"HardwareFlow", [](TLineSettings& s) { s.controlRts = rtsHandshake; s.outCtsFlow = true; },
            "CS8 CRTSCTS 9600/9600"},
        Row{"CtsOutputFlowOnly", [](TLineSettings& s) { s.outCtsFlow = true; }, "CS8 CRTSCTS 9600/9600"},
        Row{"RtsHandshakeOnly", [](TLineSettings& s) { s.controlRts = rtsHandshake; }, "CS8 CRTSCTS 9600/9600"},
        Row{"RtsEnabledIsNoHandshake", [](TLineSettings& s) { s.controlRts = rtsEnable; }, "CS8 9600/9600"},
        Row{"SoftwareFlow", [](TLineSettings& s) { s.xonXoffIn = s.xonXoffOut = true; }, "CS8 IXON IXOFF 9600/9600"},
        Row{"XonXoffOutputOnly", [](TLineSettings& s) { s.xonXoffOut = true; }, "CS8 IXON 9600/9600"},
        Row{"XonXoffInputOnly", [](TLineSettings& s) { s.xonXoffIn = true; }, "CS8 IXOFF 9600/9600"},
        Row{"Slowest", [](TLineSettings& s) { s.bitsPerSecond = 110; }, "CS8 110/110"},
        Row{"NonStandardRate", [](TLineSettings& s) { s.bitsPerSecond = 14400; }, "CS8 14400/14400"},
        Row{"CustomRate", [](TLineSettings& s) { s.bitsPerSecond = 31250; }, "CS8 31250/31250"},
        Row{"Fastest", [](TLineSettings& s) { s.bitsPerSecond = 256000; }, "CS8 256000/256000"}),
    [](const testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

TEST(LineTermios, RawWithExactRateAndOwnXonXoff_KeepsWhatTheSettingsDoNotGovern) {
  TLineSettings settings;
  settings.xonChar = 5;
  settings.xoffChar = 6;
  const termios2 line = LineTermios(CookedLine(), settings);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(line.c_oflag & OPOST, 0u);
  EXPECT_EQ(line.c_iflag & (ICRNL | ISTRIP | BRKINT), 0u);
  EXPECT_EQ(line.c_cflag & (CREAD | CLOCAL | HUPCL), CREAD | CLOCAL | HUPCL);
  // The rate in bits per second, both ways, not a Bnnn code.
  EXPECT_EQ(line.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
  EXPECT_EQ((line.c_cflag >> IBSHIFT) & CBAUD, static_cast<tcflag_t>(BOTHER));
  EXPECT_EQ(line.c_cc[VMIN], 0);
  EXPECT_EQ(line.c_cc[VTIME], 0);
  EXPECT_EQ(line.c_cc[VSTART], 5);
  EXPECT_EQ(line.c_cc[VSTOP], 6);
}

}  // namespace
}  // namespace tessaly
