// What the packet log's store costs in memory and speed at 1, 10 and 50
// million rows of 8 bytes, kept in the heap and kept in its file:
//   - resident memory (VmRSS, RssAnon, RssFile from /proc/self/status)
//     after filling, after a full scan on another thread, and after the
//     pages have been given back as the window's timer gives them back,
//   - rows appended a second,
//   - rows read a second in order on another thread (the filter scan's
//     pattern: time and bytes of every row) and at random (scrolling and
//     the details pane),
//   - how many ticks of the window's release timer give the pages back, and
//     the longest of them (each runs on the window's thread).
// Each case runs in a process of its own, so that one's memory never
// counts in another's.
//
//   build/bench/log_memory_bench [folder] [millions of rows...]
//
// The folder (for the file; default /tmp) should be on the disk the
// captures go to. Rows default to 1 10 50.
#include "log/packet_log_model.h"
#include "log/packet_store.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Resident {
  long rss = 0, anon = 0, file = 0, shmem = 0;  // kB
};

Resident ReadResident() {
  Resident resident;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    const auto value = [&] { return std::atol(line.c_str() + line.find(':') + 1); };
    if (line.rfind("VmRSS:", 0) == 0) resident.rss = value();
    if (line.rfind("RssAnon:", 0) == 0) resident.anon = value();
    if (line.rfind("RssFile:", 0) == 0) resident.file = value();
    if (line.rfind("RssShmem:", 0) == 0) resident.shmem = value();
  }
  return resident;
}

void PrintResident(const char* when, const Resident& r) {
  std::printf("    %-22s VmRSS %7.1f MB  RssAnon %7.1f MB  RssFile %7.1f MB  RssShmem %6.1f MB\n", when, r.rss / 1024.0,
              r.anon / 1024.0, r.file / 1024.0, r.shmem / 1024.0);
}

// Reads every row as the filter scan does, on its own thread; returns rows
// a second.
double ScanInOrder(const tessaly::PacketStore::Snapshot& snapshot, std::uint64_t& sum) {
  const auto start = Clock::now();
  std::thread scan([&] {
    std::uint64_t local = 0;
    for (int row = 0; row < snapshot.Size(); ++row) {
      const tessaly::PacketStore::Packet packet = snapshot.At(row);
      local += static_cast<std::uint64_t>(packet.time) + packet.bytes[0] + packet.bytes[packet.count - 1];
    }
    sum += local;
  });
  scan.join();
  return snapshot.Size() / SecondsSince(start);
}

double ReadAtRandom(const tessaly::PacketStore& store, int reads, std::uint64_t& sum) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> row(0, store.Size() - 1);
  const auto start = Clock::now();
  for (int n = 0; n < reads; ++n) {
    const tessaly::PacketStore::Packet packet = store.At(row(random));
    sum += packet.bytes[packet.count - 1];
  }
  return reads / SecondsSince(start);
}

void RunCase(bool backed, const std::string& folder, int rows) {
  std::printf("%s, %d rows of 8 bytes\n", backed ? "file" : "heap", rows);
  PrintResident("at start", ReadResident());
  tessaly::PacketStore store;
  if (backed && !store.SetBackingDirectory(folder)) {
    std::printf("    %s\n", store.BackingProblem().c_str());
    std::exit(1);
  }
  std::uint8_t bytes[8] = {0x01, 0x03, 0x00, 0x10, 0x00, 0x02, 0xC5, 0xCE};
  auto start = Clock::now();
  for (int n = 0; n < rows; ++n) {
    std::memcpy(bytes + 2, &n, 4);
    store.Append(1'700'000'000'000'000 + n, bytes, 8);
  }
  const double appendRate = rows / SecondsSince(start);
  PrintResident("filled", ReadResident());

  std::uint64_t sum = 0;
  const double scanRate = ScanInOrder(store.TakeSnapshot(), sum);
  PrintResident("after a full scan", ReadResident());

  // As the window's timer does, twice a second, until the pages the scan
  // brought in are gone (or the timer has visited every segment many times).
  double longestRelease = 0;
  int ticks = 0;
  for (; ticks < 200 && ReadResident().file > 50 * 1024; ++ticks) {
    const auto tickStart = Clock::now();
    store.ReleasePages();
    longestRelease = std::max(longestRelease, SecondsSince(tickStart) * 1e3);
  }
  std::printf("    %d ticks of the release timer (%.1f s)\n", ticks,
              ticks * tessaly::PacketLogModel::kPageReleaseInterval / 1000.0);
  PrintResident("pages given back", ReadResident());

  const double randomRate = ReadAtRandom(store, 2'000'000, sum);
  PrintResident("after random reads", ReadResident());
  std::printf("    append %.1f M rows/s, scan in order %.1f M rows/s, random %.2f M rows/s, "
              "longest page release %.2f ms  (%llu)\n",
              appendRate / 1e6, scanRate / 1e6, randomRate / 1e6, longestRelease,
              static_cast<unsigned long long>(sum % 10));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = "/tmp";
  std::vector<int> millions;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '/' || argv[i][0] == '.') {
      folder = argv[i];
    } else {
      millions.push_back(std::atoi(argv[i]));
    }
  }
  if (millions.empty()) millions = {1, 10, 50};
  for (const int m : millions) {
    for (const bool backed : {false, true}) {
      std::fflush(stdout);
      const pid_t child = ::fork();
      if (child == 0) {
        RunCase(backed, folder, m * 1'000'000);
        std::_Exit(0);
      }
      int status = 0;
      ::waitpid(child, &status, 0);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("    case failed (status %d)\n", status);
    }
  }
  return 0;
}
