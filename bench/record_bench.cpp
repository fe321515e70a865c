// Processor time of tessaly-record against jpnevulator on the same traffic:
// two pseudo-terminals fed the same frames at the same moments, one read by
// each program, at paced rates and in a flood. Each program's rows are
// counted against the frames sent (exact cuts give one row a frame), and
// its processor time (user + system, from /proc) is divided by rows and
// bytes. The recorder's resident memory is read at the start and the end.
//   build/bench/record_bench [seconds per rate] [read interval ms]
// The read interval (default 10, the window's) is the recorder's
// --read-interval: frames closer together than it share a packet.
// Needs jpnevulator (apt-get install jpnevulator); without it only the
// recorder is measured.
#include <fcntl.h>
#include <termios.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capture_file/capture_file_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Line {
  int master = -1;
  int slave = -1;
  std::string path;
  Line() {
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) std::exit(1);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    path = name;
  }
  // jpnevulator leaves a pseudo-terminal's settings as they are: a line in
  // canonical mode would hold bytes back until a newline.
  void MakeRaw() const {
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
  }
  ~Line() {
    close(master);
    close(slave);
  }
  bool Raw() const {
    termios settings{};
    return tcgetattr(slave, &settings) == 0 && (settings.c_lflag & ICANON) == 0;
  }
};

pid_t Start(const std::vector<std::string>& command, const std::string& output) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Processor seconds (user + system) and resident kilobytes of a process.
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  unsigned long long user = 0, system = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) user = std::stoull(field);
    if (i == 15) system = std::stoull(field);
  }
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

void Stop(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
}

// Rows of jpnevulator's output: each begins with a time stamp line.
long JpnevulatorRows(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  long rows = 0;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == ':') ++rows;
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  const std::string readInterval = argc > 2 ? argv[2] : "10";
  const bool haveJpnevulator = std::system("command -v jpnevulator >/dev/null 2>&1") == 0;
  const std::string frame("\x01\x03\x00\x00\x00\x02\xC4\x0B", 8);
  std::printf("%-10s %-12s %8s %8s %10s %12s %12s %10s\n", "rate", "program", "sent", "rows", "cpu s",
              "us/row", "ns/byte", "rss kB");
  for (const int rate : {20, 200, 2000, 0}) {
    Line recorderLine;
    Line peerLine;
    const std::string file = "/tmp/record_bench.pcapng";
    // 1 ms: at 2000 rows/s the frames are 0.5 ms apart only at the flood.
    const pid_t recorder = Start({TESSALY_RECORD_PROGRAM, "--serial", recorderLine.path, "--baud", "115200",
                                  "--interval", "1", "--read-interval", readInterval, "-q", "-w", file},
                                 "/dev/null");
    pid_t peer = -1;
    if (haveJpnevulator) {
      peerLine.MakeRaw();
      peer = Start({"jpnevulator", "--read", "--tty=" + peerLine.path, "--timing-print", "--timing-delta=1000",
                    "--width=4096"},
                   "/tmp/record_bench.jpnevulator");
    }
    while (!recorderLine.Raw()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // jpnevulator has opened its line
    const double recorderStart = CpuSeconds(recorder);
    const long residentStart = ResidentKb(recorder);
    const double peerStart = haveJpnevulator ? CpuSeconds(peer) : 0;
    long sent = 0;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    auto next = Clock::now();
    while (Clock::now() < end) {
      (void)!write(recorderLine.master, frame.data(), frame.size());
      if (haveJpnevulator) (void)!write(peerLine.master, frame.data(), frame.size());
      ++sent;
      if (rate > 0) {
        next += std::chrono::microseconds(1'000'000 / rate);
        std::this_thread::sleep_until(next);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double recorderCpu = CpuSeconds(recorder) - recorderStart;
    const long residentEnd = ResidentKb(recorder);
    const double peerCpu = haveJpnevulator ? CpuSeconds(peer) - peerStart : 0;
    Stop(recorder);
    if (haveJpnevulator) Stop(peer);
    const long rows = static_cast<long>(tessaly::ReadCaptureFile(file).packets.size());
    const std::string rateText = rate > 0 ? std::to_string(rate) + "/s" : "flood";
    const double bytes = static_cast<double>(sent) * static_cast<double>(frame.size());
    std::printf("%-10s %-12s %8ld %8ld %10.3f %12.2f %12.2f %5ld>%ld\n", rateText.c_str(), "tessaly", sent, rows,
                recorderCpu, recorderCpu * 1e6 / static_cast<double>(sent), recorderCpu * 1e9 / bytes, residentStart,
                residentEnd);
    if (haveJpnevulator) {
      const long peerRows = JpnevulatorRows("/tmp/record_bench.jpnevulator");
      std::printf("%-10s %-12s %8ld %8ld %10.3f %12.2f %12.2f\n", rateText.c_str(), "jpnevulator", sent, peerRows,
                  peerCpu, peerCpu * 1e6 / static_cast<double>(sent), peerCpu * 1e9 / bytes);
    }
  }
  return 0;
}
