#include "log/backing_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tessaly {

namespace {

constexpr std::size_t kAlignment = 64;

std::size_t RoundUp(std::size_t bytes, std::size_t unit) { return (bytes + unit - 1) / unit * unit; }

// An unnamed file in folder: O_TMPFILE where the file system has it, else a
// file removed as soon as it is open. The name of the second never ends in
// .pcapng, so nothing that looks at the captures in the folder ever sees it.
int OpenUnnamed(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return -1;
  std::string name = folder + "/.tessaly-log-XXXXXX";
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  ::unlink(name.c_str());
  return fd;
}

}  // namespace

// One mapped segment; unmapped when the last holder of room in it lets go.
struct BackingFile::Segment {
  std::uint8_t* data = nullptr;
  std::size_t bytes = 0;
  ~Segment() {
    if (data != nullptr) ::munmap(data, bytes);
  }
};

BackingFile::BackingFile(const std::string& folder, std::size_t segmentBytes)
    : folder_(folder),
      segmentBytes_(RoundUp(std::max<std::size_t>(segmentBytes, 1), static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)))) {
  std::error_code ignored;  // a folder that cannot be made fails the open below
  std::filesystem::create_directories(folder, ignored);
  fd_ = OpenUnnamed(folder);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), folder);
}

BackingFile::~BackingFile() {
  // The mappings still held keep the file (and its disk space) until they go.
  ::close(fd_);
}

std::shared_ptr<void> BackingFile::Take(std::size_t bytes) {
  bytes = RoundUp(bytes, kAlignment);
  if (bytes > segmentBytes_) throw std::bad_alloc();
  const bool newSegment = segments_.empty() || segmentBytes_ - used_ < bytes;
  const std::size_t segmentOffset = newSegment ? segments_.size() * segmentBytes_ : (segments_.size() - 1) * segmentBytes_;
  const std::size_t usedAfter = (newSegment ? 0 : used_) + bytes;
  const std::size_t reservedBefore = newSegment ? 0 : reserved_;
  std::size_t reservedAfter = reservedBefore;
  if (usedAfter > reservedBefore) {
    // Reserved before the room is handed out: a write to a page the disk
    // cannot hold would be a SIGBUS, not an error.
    reservedAfter = std::min(segmentBytes_, RoundUp(usedAfter, std::min(kReserveStepBytes, segmentBytes_)));
    const off_t from = static_cast<off_t>(segmentOffset + reservedBefore);
    if (const int error = ::posix_fallocate(fd_, from, static_cast<off_t>(reservedAfter - reservedBefore)); error != 0) {
      // A partial reservation is given back: the file stays as it was.
      if (::ftruncate(fd_, static_cast<off_t>(ReservedBytes())) != 0) {
        // Only the reservation's tail is lost until the file goes.
      }
      throw BackingSpaceExhausted("The log's file in " + folder_ + " cannot grow: " + std::strerror(error));
    }
  }
  if (newSegment) {
    // Made before it is mapped, so that nothing below can fail after.
    segments_.reserve(segments_.size() + 1);
    auto segment = std::make_shared<Segment>();
    // The whole segment is mapped at once, though only its reserved part is
    // ever touched. Shared, so that pages dropped from this process stay in
    // the file: a private mapping would lose what was written to them.
    void* data = ::mmap(nullptr, segmentBytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                        static_cast<off_t>(segmentOffset));
    if (data == MAP_FAILED) {
      if (::ftruncate(fd_, static_cast<off_t>(ReservedBytes())) != 0) {
        // As above.
      }
      throw std::bad_alloc();
    }
    segment->data = static_cast<std::uint8_t*>(data);
    segment->bytes = segmentBytes_;
    // The full segment's pages are not needed here any more.
    if (!segments_.empty()) ::madvise(segments_.back()->data, segmentBytes_, MADV_DONTNEED);
    segments_.push_back(std::move(segment));
    used_ = 0;
  }
  reserved_ = reservedAfter;
  const std::shared_ptr<Segment>& segment = segments_.back();
  void* room = segment->data + used_;
  used_ += bytes;
  return std::shared_ptr<void>(segment, room);
}

void BackingFile::ReleasePages(int segments) {
  if (segments_.empty()) return;
  for (int n = 0; n < segments && n < static_cast<int>(segments_.size()); ++n) {
    nextRelease_ %= segments_.size();
    const Segment& segment = *segments_[nextRelease_++];
    ::madvise(segment.data, segment.bytes, MADV_DONTNEED);
  }
}

}  // namespace tessaly
