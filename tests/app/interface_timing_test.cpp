// Opened captures are timed by the line they were captured on: what the
// recording writes for a line reads back as that line's timing, and a file
// that does not say how its line was set is timed as unknown.
#include "app/interface_timing.h"
#include "session/line_description.h"
#include "session/recording_sink.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

LineDescription Serial(const QString& where, int speed, int dataBits, char parity, int stopHalfBits) {
  LineDescription line;
  line.where = where;
  line.bitsPerSecond = speed;
  line.dataBits = dataBits;
  line.parity = parity;
  line.stopHalfBits = stopHalfBits;
  line.intervalMs = 4;
  return line;
}

TEST(InterfaceTimingTest, WhatTheRecordingWrites_ReadsBackAsItsLine) {
  LineDescription gateway;
  gateway.link = LineDescription::Link::Tcp;
  gateway.where = QStringLiteral("127.0.0.1:502");
  gateway.bitsPerSecond = 38400;
  gateway.intervalMs = 12;
  for (const LineDescription& line :
       {Serial("ttyUSB0", 9600, 8, 'N', 2), Serial("ttyS1", 19200, 8, 'E', 2), Serial("ttyS2", 1200, 7, 'O', 4),
        Serial("my port, 2 8N1", 115200, 5, 'M', 3), Serial("ttyACM0", 4800, 6, 'S', 4), gateway}) {
    SCOPED_TRACE(line.Text().toStdString());
    const modbus::LineTiming timing = LineTimingOf(InterfaceOf(line));
    EXPECT_EQ(timing.bitsPerSecond, LineTimingOf(line).bitsPerSecond);
    EXPECT_EQ(timing.bitsPerCharacter, LineTimingOf(line).bitsPerCharacter);
    EXPECT_TRUE(timing.Known());
  }
  EXPECT_EQ(LineTimingOf(Serial("ttyS1", 19200, 8, 'E', 2)).bitsPerCharacter, 11);
  EXPECT_EQ(LineTimingOf(Serial("ttyS2", 1200, 7, 'O', 4)).bitsPerCharacter, 11);
  // The file's own speed field counts over the description's figure.
  CaptureInterface faster = InterfaceOf(Serial("ttyUSB0", 9600, 8, 'N', 2));
  faster.bitsPerSecond = 57600;
  EXPECT_EQ(LineTimingOf(faster).bitsPerSecond, 57600);
}

TEST(InterfaceTimingTest, LineNotSaid_Unknown) {
  LineDescription gateway;
  gateway.link = LineDescription::Link::Tcp;
  gateway.where = QStringLiteral("127.0.0.1:502");
  EXPECT_FALSE(LineTimingOf(InterfaceOf(gateway)).Known()) << "a gateway whose line speed was not given";
  for (const CaptureInterface& foreign : {CaptureInterface{"COM3", "", 9600}, CaptureInterface{"eth0", "Ethernet", {}},
                                          CaptureInterface{"", "", {}},
                                          CaptureInterface{"ttyS0", "ttyS0 9600 8N1", 9600},
                                          CaptureInterface{"x", "x 0 8N1, packets end after 4 ms of silence", {}},
                                          CaptureInterface{"x", "x 9600 9N1, packets end after 4 ms of silence", {}}}) {
    EXPECT_FALSE(LineTimingOf(foreign).Known()) << foreign.name << " / " << foreign.description;
  }
}

}  // namespace
}  // namespace tessaly
