#pragma once

#include "capture/packet_time.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace tessaly {

// The packets of the log, kept compactly for a run of any length: each
// packet's time and bytes are stored once, in fixed-size chunks that
// are never moved, so appending costs the same at the millionth packet as at
// the first and growing never copies the log.
//
// Per packet this costs a 16-byte record plus its bytes; only the small tables
// of chunk pointers ever reallocate.
class PacketStore {
 public:
  // The largest packet one call may store (a whole byte chunk). Packet
  // framing never produces more than 1024 bytes.
  static constexpr int kMaxPacketSize = 64 * 1024 - 1;

  struct Packet {
    PacketTime time;
    const std::uint8_t* bytes;
    int count;
  };

  PacketStore() = default;
  PacketStore(const PacketStore&) = delete;
  PacketStore& operator=(const PacketStore&) = delete;

  // Throws std::invalid_argument for a count below 0 or above
  // kMaxPacketSize, and std::length_error when the store holds as many
  // packets as an int can count; a failed append leaves the store unchanged.
  void Append(PacketTime time, const std::uint8_t* bytes, int count);

  int Size() const { return size_; }

  // The packet at index (0 <= index < Size()); the bytes stay valid for the
  // life of the store (null for an empty packet).
  Packet At(int index) const;

 private:
  static constexpr int kBytesPerChunk = 64 * 1024;
  static constexpr int kRecordsPerBlock = 4096;

  struct Record {
    PacketTime time;
    std::uint32_t chunk;
    std::uint16_t offset;  // within the chunk; a chunk is 64 KiB
    std::uint16_t count;
  };
  static_assert(sizeof(Record) == 16);
  static_assert(kBytesPerChunk - 1 <= UINT16_MAX && kMaxPacketSize <= UINT16_MAX);

  using ByteChunk = std::array<std::uint8_t, kBytesPerChunk>;
  using RecordBlock = std::array<Record, kRecordsPerBlock>;

  // A packet never straddles two chunks, so it can be handed out as one
  // contiguous range; the tail of a chunk too short for the next packet stays
  // unused (under 1.6% for packets of up to 1024 bytes).
  std::uint8_t* PlaceFor(int count, Record& record);

  std::vector<std::unique_ptr<ByteChunk>> chunks_;
  int chunkUsed_ = 0;
  std::vector<std::unique_ptr<RecordBlock>> blocks_;
  int size_ = 0;
};

}  // namespace tessaly
