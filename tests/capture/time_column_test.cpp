// The time column's offsets: since the row before and since the first row,
// to the microsecond, a clock set back included; and the grid's cells.
#include "log/packet_log_model.h"
#include "log/time_column.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TEST(TimeColumn, OffsetsToTheMicrosecond) {
  constexpr PacketTime kStart = 1'700'000'000'000'000;
  EXPECT_EQ(FormatTimeOffset(TimeColumn::kSincePrevious, kStart, std::nullopt, kStart), QString());
  EXPECT_EQ(FormatTimeOffset(TimeColumn::kSincePrevious, kStart + 20'512, kStart, kStart),
            QStringLiteral("+0.020512"));
  EXPECT_EQ(FormatTimeOffset(TimeColumn::kSinceStart, kStart + 3'723'000'001, kStart + 1, kStart),
            QStringLiteral("3723.000001"));
  EXPECT_EQ(FormatTimeOffset(TimeColumn::kSincePrevious, kStart - 1'500'000, kStart, kStart),
            QStringLiteral("-1.500000"));

  PacketLogModel log;
  const std::uint8_t bytes[] = {1, 3};
  log.AppendPacket(bytes, 2, kStart);
  log.AppendPacket(bytes, 2, kStart + 250'000);
  log.AnnouncePackets();
  const QString timeOfDay = log.data(log.index(1, PacketLogModel::kTimeColumn)).toString();
  log.SetTimeColumn(TimeColumn::kSincePrevious);
  EXPECT_EQ(log.data(log.index(0, PacketLogModel::kTimeColumn)).toString(), QString());
  EXPECT_EQ(log.data(log.index(1, PacketLogModel::kTimeColumn)).toString(), QStringLiteral("+0.250000"));
  log.SetTimeColumn(TimeColumn::kSinceStart);
  EXPECT_EQ(log.data(log.index(1, PacketLogModel::kTimeColumn)).toString(), QStringLiteral("0.250000"));
  log.SetTimeColumn(TimeColumn::kTimeOfDay);
  EXPECT_EQ(log.data(log.index(1, PacketLogModel::kTimeColumn)).toString(), timeOfDay);
}

}  // namespace
}  // namespace tessaly
