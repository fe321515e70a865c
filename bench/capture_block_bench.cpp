// What a packet costs in a pcapng capture file, in bytes and in encoding
// time, for a read request (8 bytes) and a long answer (256 bytes): as the
// files are written now (the first byte's arrival in a 12-byte option) and
// as they were written before (the same in a 38-character comment), in the
// same run. The recording's whole path is measured by recording_bench.
//
//   build/bench/capture_block_bench [packets]
#include "capture_file/capture_file_writer.h"
#include "capture_file/pcapng_blocks.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr tessaly::PacketTime kStart = 1'796'731'200'000'000;

struct Result {
  double bytesPerPacket;
  double nanosecondsPerPacket;
};

// Encodes packets blocks of count bytes into a buffer that is emptied as a
// writer's batch is.
Result Encode(long packets, int count, bool asComment) {
  const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count), 0x5A);
  std::string batch;
  batch.reserve(256 * 1024 + 1024);
  std::uint64_t total = 0;
  const std::vector<std::string> none;
  const auto start = Clock::now();
  for (long i = 0; i < packets; ++i) {
    const tessaly::PacketTime end = kStart + i * 1000;
    const tessaly::PacketTime firstByte = end - 900;
    if (asComment) {
      tessaly::pcapng::AppendPacket(batch, 0, end, bytes.data(), count, {tessaly::FirstByteComment(firstByte)});
    } else {
      tessaly::pcapng::AppendPacket(batch, 0, end, bytes.data(), count, none, firstByte);
    }
    if (batch.size() >= 256 * 1024) {
      total += batch.size();
      batch.clear();
    }
  }
  total += batch.size();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return {static_cast<double>(total) / static_cast<double>(packets), seconds * 1e9 / static_cast<double>(packets)};
}

}  // namespace

int main(int argc, char** argv) {
  const long packets = argc > 1 ? std::atol(argv[1]) : 1'000'000;
  std::printf("%-10s %-28s %12s %14s\n", "packet", "first byte kept", "bytes/packet", "ns/packet");
  for (const int count : {8, 256}) {
    for (const bool asComment : {true, false}) {
      const Result result = Encode(packets, count, asComment);
      std::printf("%4d bytes %-28s %12.1f %14.1f\n", count,
                  asComment ? "in a comment (before)" : "in its option (now)", result.bytesPerPacket,
                  result.nanosecondsPerPacket);
    }
  }
  return 0;
}
