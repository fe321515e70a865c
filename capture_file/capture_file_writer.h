#pragma once

#include "core/packet_framer.h"
#include "capture_file/capture_file_format.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// A capture file that could not be created or written. The message names
// the file and the cause: "Cannot write the capture to /x.pcapng: No space
// left on device".
class CaptureFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes packets to a capture file as they come, for captures that run for
// days: blocks collect in memory and reach the file in batches when the
// owner flushes (every 100 ms or so), and the disk when it syncs (every
// second or so), so a reader of a file still being written, or of one left
// by a power cut, finds whole blocks followed at most by one torn block.
//
// A write that fails (a full disk, a closed pipe) stops the writer: the file
// is cut back to its last whole block, so what was captured before stays
// readable, and the error says why. Nothing is written after that.
class CaptureFileWriter {
 public:
  // Collected blocks reach the file without waiting for the owner's flush
  // once they are this large: a flood of bytes, or an owner kept busy by it,
  // never makes the batch grow without bound.
  static constexpr std::size_t kBatchBytes = 256 * 1024;

  // How the file comes to be. kReplace creates or empties it, as a save
  // the user asked for over an existing file does. kNew makes a file that
  // did not exist, readable by its owner alone, and never through a
  // symbolic link: what the program records on its own, in a folder
  // others may be able to write to.
  enum class Creation { kReplace, kNew };

  // Creates the file at path ("-": standard output, which stays open).
  // Throws CaptureFileError.
  CaptureFileWriter(const std::string& path, CaptureFileFormat format, std::string application,
                    Creation creation = Creation::kReplace);
  // Flushes and closes; a failure then goes unreported (call Close to hear it).
  ~CaptureFileWriter();
  CaptureFileWriter(const CaptureFileWriter&) = delete;
  CaptureFileWriter& operator=(const CaptureFileWriter&) = delete;

  // Describes a link; its number is what AddPacket takes. A classic pcap
  // file keeps no description: it takes the first and ignores the rest.
  std::uint32_t AddInterface(const CaptureInterface& link);
  // A packet stamped with its end, as the window's grid shows it; pcapng
  // keeps its first byte's arrival in a comment (FirstByteComment). Throws
  // CaptureFileError when a full batch cannot be written.
  void AddPacket(std::uint32_t interfaceId, const std::uint8_t* bytes, int count, const PacketTiming& timing);
  // A note for the reader (a gap in the capture): carried by the next
  // packet, or at Close by a block of its own. Classic pcap drops it.
  void AddComment(std::string text);

  // Hands what has collected to the file; Sync also asks the disk to keep
  // it. Both throw CaptureFileError once writing has failed.
  void Flush();
  void Sync();
  // Writes what is left, syncs and closes. Throws CaptureFileError.
  void Close();

  const std::string& Path() const { return path_; }
  // The file's size once everything collected is written.
  std::uint64_t Size() const { return written_ + pending_.size(); }
  std::uint64_t Packets() const { return packets_; }
  bool Failed() const { return !failure_.empty(); }

 private:
  void NoteBlockEnd() { blockEnds_.push_back(pending_.size()); }
  [[noreturn]] void Fail(int error);

  std::string path_;
  CaptureFileFormat format_;
  int fd_ = -1;
  bool ownsFd_ = true;
  bool isRegularFile_ = false;
  std::uint32_t interfaces_ = 0;
  std::uint64_t written_ = 0;
  std::uint64_t packets_ = 0;
  PacketTime lastStamp_ = 0;
  std::string pending_;
  // Where each block in pending_ ends, to cut a torn write back to one.
  std::vector<std::size_t> blockEnds_;
  std::vector<std::string> comments_;
  std::string failure_;
};

// The comment that keeps a packet's first byte: "first byte
// 2026-12-08T11:00:00.123456Z" (UTC, microseconds), and its reverse.
std::string FirstByteComment(PacketTime firstByte);
std::optional<PacketTime> ParseFirstByteComment(std::string_view comment);

}  // namespace tessaly
