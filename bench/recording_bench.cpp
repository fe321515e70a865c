// Measures a capture file recorded as it comes: how long the capturing
// thread spends handing each packet over, and how many packets a second
// reach the disk, for packets of a read request's size.
//
//   build/bench/recording_bench [folder] [packets]
//
// The folder defaults to the system's temporary one, packets to 2,000,000.
#include "capture_file/capture_recording.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : QDir::tempPath().toStdString();
  const long packets = argc > 2 ? std::atol(argv[2]) : 2'000'000;
  const std::string path = folder + "/recording_bench.pcapng";
  const std::uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  std::uint64_t bytes = 0;
  {
    tessaly::CaptureRecording recording(path, "recording_bench", [](const std::string& message) {
      std::fprintf(stderr, "%s\n", message.c_str());
    });
    const std::uint32_t line = recording.AddInterface({"bench", "bench 115200 8N1", 115200});
    for (long i = 0; i < packets; ++i) {
      const tessaly::PacketTime end = 1'796'731'200'000'000 + i * 100;
      recording.AddPacket(line, request, sizeof request, {end - 60, end - 10, end});
    }
    const double handed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("handed over: %ld packets in %.3f s, %.0f ns a packet on the capturing thread\n", packets, handed,
                handed * 1e9 / static_cast<double>(packets));
  }  // the recording finishes: written, synced and closed
  const double total = std::chrono::duration<double>(Clock::now() - start).count();
  bytes = static_cast<std::uint64_t>(QFileInfo(QString::fromStdString(path)).size());
  std::printf("on disk: %.0f packets/s (%.1f MB in %.3f s, closed and synced)\n",
              static_cast<double>(packets) / total, static_cast<double>(bytes) / 1e6, total);
  std::remove(path.c_str());
  return 0;
}
