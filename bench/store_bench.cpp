// Measures the settings store on large files: the time to parse a file of
// many sections (and of one section with many values), and what the
// program's start-up costs on such a file: its time and how many times the
// file is parsed. The start-up is the real one (the link holder's creation
// and the main window's), on a store written in an earlier run.
//
//   QT_QPA_PLATFORM=offscreen build/bench/store_bench [sizes...]
//
// Sizes default to 1000 10000 100000.
#include "app/main_window.h"
#include "session/link_holder.h"
#include "settings/parsed_store_cache.h"
#include "settings/reg_file_format.h"

#include <QApplication>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kProgramKey =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Verandel\\Tessaly]\n"
    "\"Transport\"=\"TCP\"\n\"Remote_IP\"=\"127.0.0.1\"\n\"Remote_Port\"=dword:0000139c\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Verandel\\Tessaly\\ComPort]\n"
    "\"Port\"=\"/dev/ttyUSB0\"\n\"BaudRate\"=\"19200\"\n\"StopBits\"=\"1\"\n\"DataBits\"=\"8\"\n"
    "\"Parity\"=\"None\"\n\"FlowControl\"=\"None\"\n\n";

// count sections of one value each, the program's own keys in the middle.
std::string ManySections(int count) {
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  for (int i = 0; i < count; ++i) {
    if (i == count / 2) text += kProgramKey;
    const std::string n = std::to_string(i);
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Section" + n + "]\n\"Value" + n + "\"=\"text " + n + "\"\n\n";
  }
  return text;
}

// One section with count values, then the program's own keys.
std::string ManyValues(int count) {
  std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n";
  for (int i = 0; i < count; ++i) text += "\"Value" + std::to_string(i) + "\"=dword:0000002a\n";
  return text + "\n" + kProgramKey;
}

// Wall-clock and processor time of this thread; on a busy machine the
// second is the steadier measure of the work done.
struct Times {
  double wall = 0;
  double processor = 0;
};

class Stopwatch {
 public:
  Stopwatch() : wall_(Clock::now()), processor_(ThreadMilliseconds()) {}
  Times Elapsed() const {
    return {std::chrono::duration<double, std::milli>(Clock::now() - wall_).count(),
            ThreadMilliseconds() - processor_};
  }

 private:
  static double ThreadMilliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
  }
  Clock::time_point wall_;
  double processor_;
};

// The median of several parses, each timed up to the parsed tree (its
// destruction not included).
Times MedianParse(const std::string& text) {
  std::vector<Times> times;
  const int runs = std::clamp(static_cast<int>(20'000'000 / (text.size() + 1)), 5, 51);
  for (int run = 0; run < runs; ++run) {
    const Stopwatch stopwatch;
    const auto tree = tessaly::ParseRegFile(text);
    times.push_back(stopwatch.Elapsed());
    if (!tree) std::abort();
  }
  std::ranges::sort(times, {}, &Times::processor);
  return times[times.size() / 2];
}

struct StartUp {
  Times times;
  std::uint64_t parses;
};

// The store's part of a start-up: every handle the link holder and the main
// window open, with their reads, on a fresh process's empty cache.
StartUp MeasureStartUp(const std::string& text) {
  QTemporaryDir folder;
  const std::filesystem::path dir = folder.path().toStdString();
  const std::filesystem::path file = dir / "local-machine.reg";
  std::ofstream(file, std::ios::binary) << text;
  // Written in an earlier run, a minute ago.
  timespec times[2];
  ::clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= 60;
  times[1] = times[0];
  ::utimensat(AT_FDCWD, file.c_str(), times, 0);

  tessaly::ParsedStoreCache::Instance().Clear();
  const std::uint64_t before = tessaly::ParseCount();
  const Stopwatch stopwatch;
  tessaly::Data data(dir);
  data.DataModuleCreate();
  tessaly::MainWindow fmMain(data);
  const Times elapsed = stopwatch.Elapsed();
  if (data.Socket().Port() != 5020) std::abort();  // the stored values were read
  return {elapsed, tessaly::ParseCount() - before};
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000, 100000};

  std::printf("Times in ms as processor time of the thread (wall clock in brackets).\n");
  std::printf("%-9s %7s %8s %18s %9s %18s %8s\n", "shape", "count", "file KB", "parse", "ns/byte", "start-up", "parses");
  for (const int count : sizes) {
    for (const bool sections : {true, false}) {
      const std::string text = sections ? ManySections(count) : ManyValues(count);
      const Times parse = MedianParse(text);
      const StartUp startUp = MeasureStartUp(text);
      std::printf("%-9s %7d %8.0f %8.2f (%7.2f) %9.1f %8.1f (%7.1f) %8llu\n", sections ? "sections" : "values", count,
                  static_cast<double>(text.size()) / 1024.0, parse.processor, parse.wall,
                  parse.processor * 1e6 / static_cast<double>(text.size()), startUp.times.processor,
                  startUp.times.wall, static_cast<unsigned long long>(startUp.parses));
    }
  }
  return 0;
}
