#include "capture_file/capture_file_writer.h"

#include "capture_file/pcapng_blocks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace tessaly {
namespace {

constexpr char kStandardOutput[] = "-";
constexpr char kFirstBytePrefix[] = "first byte ";

std::string CannotWrite(const std::string& path, int error) {
  const std::string shown = path == kStandardOutput ? std::string("standard output") : path;
  return "Cannot write the capture to " + shown + ": " + std::strerror(error);
}

}  // namespace

CaptureFileWriter::CaptureFileWriter(const std::string& path, CaptureFileFormat format, std::string application,
                                     Creation creation)
    : path_(path), format_(format) {
  if (path == kStandardOutput) {
    fd_ = STDOUT_FILENO;
    ownsFd_ = false;
  } else {
    fd_ = creation == Creation::kNew
              ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)
              : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) throw CaptureFileError(CannotWrite(path, errno));
  }
  struct stat status {};
  isRegularFile_ = ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode);
  if (format_ == CaptureFileFormat::kPcapng) {
    pcapng::AppendSectionHeader(pending_, application);
  } else {
    pcap::AppendFileHeader(pending_);
  }
  NoteBlockEnd();
}

CaptureFileWriter::~CaptureFileWriter() {
  try {
    Close();
  } catch (const CaptureFileError&) {
    // Said by Close to whoever asked; a writer going away has no one to tell.
  }
}

std::uint32_t CaptureFileWriter::AddInterface(const CaptureInterface& link) {
  if (format_ == CaptureFileFormat::kPcap) return 0;
  pcapng::AppendInterface(pending_, link);
  NoteBlockEnd();
  return interfaces_++;
}

void CaptureFileWriter::AddPacket(std::uint32_t interfaceId, const std::uint8_t* bytes, int count,
                                  const PacketTiming& timing) {
  if (Failed() || fd_ < 0) return;
  lastStamp_ = timing.ended;
  if (format_ == CaptureFileFormat::kPcap) {
    pcap::AppendRecord(pending_, timing.ended, bytes, count);
  } else {
    // An empty packet has no first byte: its times are all its end.
    if (count > 0) comments_.insert(comments_.begin(), FirstByteComment(timing.firstByte));
    pcapng::AppendPacket(pending_, interfaceId, timing.ended, bytes, count, comments_);
    comments_.clear();
  }
  NoteBlockEnd();
  ++packets_;
  if (pending_.size() >= kBatchBytes) Flush();
}

void CaptureFileWriter::AddComment(std::string text) {
  if (format_ == CaptureFileFormat::kPcapng) comments_.push_back(std::move(text));
}

void CaptureFileWriter::Flush() {
  if (Failed()) throw CaptureFileError(failure_);
  if (fd_ < 0) return;
  std::size_t done = 0;
  while (done < pending_.size()) {
    const ssize_t count = ::write(fd_, pending_.data() + done, pending_.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      const int error = count < 0 ? errno : ENOSPC;
      // Cut the file back to the last block that reached it whole, so that
      // it reads to its end; a pipe cannot be cut, its reader sees the tear.
      const auto whole = std::upper_bound(blockEnds_.begin(), blockEnds_.end(), done);
      const std::size_t keep = whole == blockEnds_.begin() ? 0 : *(whole - 1);
      if (isRegularFile_) (void)::ftruncate(fd_, static_cast<off_t>(written_ + keep));
      written_ += keep;
      pending_.clear();
      blockEnds_.clear();
      Fail(error);
    }
    done += static_cast<std::size_t>(count);
  }
  written_ += pending_.size();
  pending_.clear();
  blockEnds_.clear();
}

void CaptureFileWriter::Sync() {
  Flush();
  if (fd_ >= 0 && isRegularFile_ && ::fdatasync(fd_) != 0) Fail(errno);
}

void CaptureFileWriter::Close() {
  if (fd_ < 0) {
    if (Failed()) throw CaptureFileError(failure_);
    return;
  }
  if (!comments_.empty()) {
    pcapng::AppendStatistics(pending_, 0, lastStamp_, comments_);
    NoteBlockEnd();
    comments_.clear();
  }
  try {
    Sync();
  } catch (const CaptureFileError&) {
    if (ownsFd_) ::close(fd_);
    fd_ = -1;
    throw;
  }
  const int fd = fd_;
  fd_ = -1;
  if (ownsFd_ && ::close(fd) != 0) Fail(errno);
}

void CaptureFileWriter::Fail(int error) {
  failure_ = CannotWrite(path_, error);
  throw CaptureFileError(failure_);
}

std::string FirstByteComment(PacketTime firstByte) {
  const std::time_t seconds = static_cast<std::time_t>(firstByte / 1'000'000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%s%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", kFirstBytePrefix, utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(firstByte % 1'000'000));
  return text;
}

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// The number of count digits at text[at], or -1 when one is no digit.
long Digits(std::string_view text, std::size_t at, std::size_t count) {
  long value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

// Read for every packet of a file that may hold millions: by hand, without
// the C library's scanning and time conversions.
std::optional<PacketTime> ParseFirstByteComment(std::string_view comment) {
  const std::string_view prefix(kFirstBytePrefix);
  constexpr std::string_view kShape = "0000-00-00T00:00:00.000000Z";
  if (comment.size() != prefix.size() + kShape.size() || comment.substr(0, prefix.size()) != prefix) {
    return std::nullopt;
  }
  const std::string_view stamp = comment.substr(prefix.size());
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    if (kShape[i] != '0' && stamp[i] != kShape[i]) return std::nullopt;
  }
  const long year = Digits(stamp, 0, 4);
  const long month = Digits(stamp, 5, 2);
  const long day = Digits(stamp, 8, 2);
  const long hour = Digits(stamp, 11, 2);
  const long minute = Digits(stamp, 14, 2);
  const long second = Digits(stamp, 17, 2);
  const long micros = Digits(stamp, 20, 6);
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 60 || micros < 0) {
    return std::nullopt;
  }
  const std::int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const std::int64_t seconds = ((days * 24 + hour) * 60 + minute) * 60 + second;
  return static_cast<PacketTime>(seconds) * 1'000'000 + micros;
}

}  // namespace tessaly
