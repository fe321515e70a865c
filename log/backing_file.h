#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace tessaly {

// The disk could not give the file another segment (full, over a quota or
// over the process's file-size limit). A kind of std::bad_alloc, so that
// whatever copes with memory running out copes with this the same way; what()
// says which folder and why.
class BackingSpaceExhausted : public std::bad_alloc {
 public:
  explicit BackingSpaceExhausted(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Memory taken from an unnamed file instead of the heap: the kernel may
// drop its pages whenever it likes (they are written back to the file), so
// a store of any length keeps only what is being looked at resident.
//
// The file has no name (O_TMPFILE, or created and unlinked at once), so it
// is gone with the last mapping even after a crash. It is mapped a segment
// at a time, and its disk space is reserved a step (kReserveStepBytes) at a
// time before any room in it is handed out: a nearly full disk still serves
// a log of a few megabytes, and a full one refuses the step instead of
// killing the process with SIGBUS on a later write. Segments are never moved
// or unmapped while anyone holds room in them.
//
// One thread takes room and releases pages; any thread may read room it
// was handed.
class BackingFile {
 public:
  static constexpr std::size_t kSegmentBytes = 64 * 1024 * 1024;
  static constexpr std::size_t kReserveStepBytes = 1024 * 1024;

  // Makes the file in folder (created when missing), with segments of
  // segmentBytes rounded up to whole pages. Throws std::system_error when the
  // folder cannot take the file.
  BackingFile(const std::string& folder, std::size_t segmentBytes = kSegmentBytes);
  ~BackingFile();
  BackingFile(const BackingFile&) = delete;
  BackingFile& operator=(const BackingFile&) = delete;

  // Room for bytes (at most SegmentBytes()), aligned for any type; the
  // pointer keeps its segment mapped. Throws BackingSpaceExhausted when the
  // disk cannot hold another segment (the file keeps what it had), and
  // std::bad_alloc when it cannot be mapped.
  std::shared_ptr<void> Take(std::size_t bytes);

  // Drops the mapped pages of the next segments (round the file, up to
  // segments of them) from this process: they stay in the file and come back
  // on the next read, but no longer count as the process's memory. Cheap
  // where little was touched since the last call.
  void ReleasePages(int segments);

  std::size_t SegmentBytes() const { return segmentBytes_; }
  std::size_t SegmentCount() const { return segments_.size(); }
  std::size_t ReservedBytes() const {
    return segments_.empty() ? 0 : (segments_.size() - 1) * segmentBytes_ + reserved_;
  }
  const std::string& Folder() const { return folder_; }

 private:
  struct Segment;

  std::string folder_;
  std::size_t segmentBytes_;
  int fd_ = -1;
  std::vector<std::shared_ptr<Segment>> segments_;
  std::size_t used_ = 0;      // of the last segment
  std::size_t reserved_ = 0;  // of the last segment, on the disk
  std::size_t nextRelease_ = 0;
};

}  // namespace tessaly
