// Measures what marking and filtering the log cost at the scale of a long
// capture: the CRC check and direction of 1,000,000 frames (each frame must
// cost well under a microsecond, so marking never slows a line at full
// speed), the full decoding shown in the details pane, and the filter
// pane's filters over a log of 1,000,000 packets by unit, by byte sequence
// and by damage (each under 200 ms, so a filter applies without a felt
// pause).
//
//   build/bench/modbus_bench [frames]
#include "modbus/conversation.h"
#include "modbus/crc16.h"
#include "modbus/frame_check.h"
#include "modbus/row_filter.h"
#include "log/log_filter_model.h"
#include "log/packet_log_model.h"
#include "log/packet_store.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using tessaly::PacketStore;
namespace modbus = tessaly::modbus;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> body) {
  const std::uint16_t crc = modbus::Crc16(body.data(), body.size());
  body.push_back(static_cast<std::uint8_t>(crc));
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  return body;
}

// A master polling 16 units in turn: read requests of 8 bytes and answers of
// 5 + 2 * (1..16) bytes; one frame in 50 damaged.
std::vector<std::uint8_t> NthFrame(int n) {
  const auto unit = static_cast<std::uint8_t>(1 + (n / 2) % 16);
  const int registers = 1 + (n / 2) % 16;
  std::vector<std::uint8_t> frame;
  if (n % 2 == 0) {
    frame = WithCrc({unit, 3, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n), 0,
                     static_cast<std::uint8_t>(registers)});
  } else {
    std::vector<std::uint8_t> body{unit, 3, static_cast<std::uint8_t>(2 * registers)};
    for (int i = 0; i < 2 * registers; ++i) body.push_back(static_cast<std::uint8_t>(n * 7 + i));
    frame = WithCrc(body);
  }
  if (n % 50 == 49) frame[2] ^= 0x40;
  return frame;
}

class StoreSequence : public modbus::PacketSequence {
 public:
  explicit StoreSequence(const PacketStore& store) : store_(store) {}
  int Size() const override { return store_.Size(); }
  modbus::LoggedPacket At(int index) const override {
    const PacketStore::Packet packet = store_.At(index);
    return {packet.bytes, packet.count, packet.time};
  }

 private:
  const PacketStore& store_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int frames = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
  if (frames <= 0) {
    std::fprintf(stderr, "usage: modbus_bench [frames]\n");
    return 2;
  }
  PacketStore store;
  for (int n = 0; n < frames; ++n) {
    const auto frame = NthFrame(n);
    store.Append(1'700'000'000'000'000 + std::int64_t{n} * 20'000, frame.data(),
                 static_cast<int>(frame.size()));
  }

  // Marking: the CRC check of every frame and its direction from the one
  // before, as a view needs them for every row it paints.
  int good = 0;
  int requests = 0;
  auto start = Clock::now();
  modbus::FrameSummary previous;
  for (int row = 0; row < frames; ++row) {
    const PacketStore::Packet packet = store.At(row);
    if (modbus::CheckFrame(packet.bytes, packet.count) == modbus::FrameKind::Good) ++good;
    previous = modbus::Summarize(packet.bytes, packet.count, &previous);
    if (previous.direction == modbus::Direction::Request) ++requests;
  }
  const double markSeconds = Seconds(start);
  std::printf("CRC check and direction     %8.1f ns/frame  (%d frames, %d good, %d requests)\n",
              markSeconds * 1e9 / frames, frames, good, requests);

  // The details pane: everything shown for one selected row.
  const int described = std::min(frames, 100'000);
  const StoreSequence log(store);
  std::size_t lines = 0;
  start = Clock::now();
  for (int row = 0; row < described; ++row) {
    lines += modbus::DescribePacket(log, row, {9600, 10}).size();
  }
  std::printf("full details of one row     %8.1f ns/row    (%d rows, %zu lines)\n",
              Seconds(start) * 1e9 / described, described, lines);

  // Filters as the filter pane applies them: one pass over the log's
  // packets, keeping the numbers of the rows that match.
  tessaly::PacketLogModel logModel;
  logModel.SetBatching(INT_MAX, 0);
  for (int row = 0; row < frames; ++row) {
    const PacketStore::Packet packet = store.At(row);
    logModel.AppendPacket(packet.bytes, packet.count, packet.time);
  }
  tessaly::LogFilterModel filtered(logModel);
  const auto timeFilter = [&](const char* name, const modbus::RowFilter& filter) {
    const auto began = Clock::now();
    filtered.SetFilter(filter);
    std::printf("filter by %-18s %8.1f ms  (%d of %d rows)\n", name, Seconds(began) * 1e3,
                filtered.rowCount(), logModel.rowCount());
  };
  modbus::RowFilter byUnit;
  byUnit.unit = 5;
  timeFilter("unit 5", byUnit);
  modbus::RowFilter bySequence;
  bySequence.sequence = {0x00, 0x07};
  timeFilter("hex sequence 00 07", bySequence);
  modbus::RowFilter bad;
  bad.badFramesOnly = true;
  timeFilter("bad frames", bad);
  return 0;
}
