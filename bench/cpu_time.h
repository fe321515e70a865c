#pragma once

// Processor time for the benches: of this process or thread, and of another
// process (the X server, a peer program) read from /proc.

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace tessaly::bench {

// Milliseconds of processor time on a clock: CLOCK_PROCESS_CPUTIME_ID for
// this process, CLOCK_THREAD_CPUTIME_ID for the calling thread.
inline double CpuMs(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// User and system time of another process, in milliseconds (0 when it
// cannot be read).
inline double OtherProcessCpuMs(long pid) {
  if (pid <= 0) return 0;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  // The name in parentheses may hold spaces: the fields are counted after it.
  const auto close = line.rfind(')');
  if (close == std::string::npos) return 0;
  unsigned long utime = 0;
  unsigned long stime = 0;
  std::sscanf(line.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
  return static_cast<double>(utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace tessaly::bench
