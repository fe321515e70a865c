#pragma once

#include "log/backing_file.h"
#include "core/packet_time.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessaly {

// The packets of the log, kept compactly for a run of any length: each
// packet's time and bytes are stored once, in fixed-size chunks that
// are never moved, so appending costs the same at the millionth packet as at
// the first and growing never copies the log.
//
// Per packet this costs a 24-byte record plus its bytes; only the small tables
// of chunk pointers ever reallocate.
//
// The user-interface thread appends; a snapshot (below) lets another thread
// read what the store held when it was taken while appending goes on.
//
// The chunks come from the heap, or, given a backing folder, from an
// unnamed file there (see BackingFile): then the log's memory stays flat at
// any length, as only the pages being read or written are resident.
class PacketStore {
  static constexpr int kBytesPerChunk = 64 * 1024;
  static constexpr int kRecordsPerBlock = 4096;

  struct Record {
    PacketTime time;
    // The chunk index and, in the top byte, the line the packet came on
    // (0 the first): two lines share the log without growing the record.
    std::uint32_t chunk : 24;
    std::uint32_t line : 8;
    std::uint16_t offset;  // within the chunk; a chunk is 64 KiB
    std::uint16_t count;
    // How long before time the first and the last byte came, in
    // microseconds (over an hour ahead is more than any packet lasts);
    // kUnknownAgo where the packet came without them.
    std::uint32_t firstByteAgo;
    std::uint32_t lastByteAgo;
  };
  static_assert(sizeof(Record) == 24);
  static constexpr std::uint32_t kUnknownAgo = UINT32_MAX;
  // 2^24 chunks of 64 KiB: a terabyte of packet bytes.
  static constexpr std::size_t kMaxChunks = std::size_t{1} << 24;

  using ByteChunk = std::array<std::uint8_t, kBytesPerChunk>;
  using RecordBlock = std::array<Record, kRecordsPerBlock>;

  // The chunk tables. Chunks are shared, so a snapshot keeps them alive
  // after the store has been cleared.
  struct Tables {
    std::vector<std::shared_ptr<const ByteChunk>> chunks;
    std::vector<std::shared_ptr<const RecordBlock>> blocks;
  };

 public:
  // The largest packet one call may store (a whole byte chunk). Packet
  // framing never produces more than 1024 bytes.
  static constexpr int kMaxPacketSize = kBytesPerChunk - 1;
  static_assert(kMaxPacketSize <= UINT16_MAX);

  struct Packet {
    PacketTime time;
    const std::uint8_t* bytes;
    int count;
    // When its first and last byte came, where the packet came with them.
    std::optional<PacketTime> firstByte{};
    std::optional<PacketTime> lastByte{};
    // The line it came on: 0 the first (and only, with one line), 1 the second.
    int line = 0;
  };

  // Lines a record can name.
  static constexpr int kMaxLines = 256;

  // The first packets of a store, frozen: a copy of the chunk tables (a few
  // kilobytes per million packets) that shares the chunks themselves. The
  // records and bytes it covers are never written again, and the store only
  // ever writes beyond them, so any thread may read a snapshot while the
  // store's thread goes on appending (or clears the store).
  class Snapshot {
   public:
    Snapshot() = default;
    int Size() const { return size_; }
    Packet At(int index) const { return Read(tables_, index); }

   private:
    friend class PacketStore;
    Tables tables_;
    int size_ = 0;
  };

  PacketStore() = default;
  PacketStore(const PacketStore&) = delete;
  PacketStore& operator=(const PacketStore&) = delete;

  // Throws std::invalid_argument for a count below 0 or above
  // kMaxPacketSize or a line outside 0..kMaxLines-1, std::length_error when
  // the store holds as many packets as an int can count (or bytes as the
  // record can place), and std::bad_alloc when memory (or the allocation
  // limit) runs out; a failed append leaves the store's packets unchanged.
  void Append(PacketTime time, const std::uint8_t* bytes, int count);
  // The same, with when its first and last byte came (at or before time),
  // where they are known.
  void Append(PacketTime time, const std::uint8_t* bytes, int count, std::optional<PacketTime> firstByte,
              std::optional<PacketTime> lastByte, int line = 0);

  int Size() const { return size_; }

  // The packet at index (0 <= index < Size()); the bytes stay valid until
  // the store is cleared (null for an empty packet).
  Packet At(int index) const { return Read(tables_, index); }

  Snapshot TakeSnapshot() const;

  // Forgets every packet and gives their memory back (once no snapshot
  // holds it any more).
  void Clear();

  // The memory the chunks take, and a ceiling on it: an append that would
  // need more fails with std::bad_alloc as a full memory would.
  std::size_t AllocatedBytes() const { return allocated_; }
  void SetAllocationLimit(std::size_t bytes) { limit_ = bytes; }

  // Takes the chunks made from now on from an unnamed file in folder, in
  // segments of segmentBytes. Returns false when the folder cannot take the
  // file: the store keeps to the heap and BackingProblem() says why. After a
  // Clear the next chunk opens a new file; should that fail, the store goes
  // on in the heap and says so the same way. When the disk takes no more of
  // the file, the store goes on in the heap too, and says so the same way.
  bool SetBackingDirectory(const std::string& folder, std::size_t segmentBytes = BackingFile::kSegmentBytes);
  // Why a backing folder was given but the chunks come from the heap; empty
  // while they come from the file (or no folder was given).
  const std::string& BackingProblem() const { return backingProblem_; }

  // Drops some of the file's pages from the process's memory (they stay in
  // the file): what appends and long reads such as a filter scan brought
  // in. Cheap; meant for a timer on the appending thread.
  void ReleasePages();
  // The calls of ReleasePages() that visit every segment of the file once;
  // none for the heap.
  int ReleaseCallsPerSweep() const;

 private:
  static Packet Read(const Tables& tables, int index);
  template <class Chunk>
  std::shared_ptr<Chunk> Allocate();
  // The file the next chunk comes from, opened when needed; null for the
  // heap.
  BackingFile* File();
  // A packet never straddles two chunks, so it can be handed out as one
  // contiguous range; the tail of a chunk too short for the next packet stays
  // unused (under 1.6% for packets of up to 1024 bytes).
  std::uint8_t* PlaceFor(int count, Record& record);

  Tables tables_;
  // The writable views of the last chunk and block (the tables hold them
  // as const, for the snapshots).
  std::uint8_t* chunkData_ = nullptr;
  int chunkUsed_ = 0;
  Record* blockData_ = nullptr;
  int size_ = 0;
  std::size_t allocated_ = 0;
  std::size_t limit_ = std::numeric_limits<std::size_t>::max();
  std::string backingFolder_;  // empty: the heap
  std::size_t segmentBytes_ = BackingFile::kSegmentBytes;
  std::unique_ptr<BackingFile> file_;
  std::string backingProblem_;
};

}  // namespace tessaly
