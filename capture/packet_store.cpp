#include "capture/packet_store.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

namespace tessaly {

void PacketStore::Append(PacketTime time, const std::uint8_t* bytes, int count) {
  if (count < 0 || count > kMaxPacketSize) {
    throw std::invalid_argument("A packet of " + std::to_string(count) +
                                " bytes cannot be logged");
  }
  if (size_ == std::numeric_limits<int>::max()) {
    throw std::length_error("The packet log is full");
  }
  if (size_ / kRecordsPerBlock == static_cast<int>(blocks_.size())) {
    blocks_.push_back(std::make_unique_for_overwrite<RecordBlock>());
  }
  Record record{};
  record.time = time;
  record.count = static_cast<std::uint16_t>(count);
  // An empty packet has no bytes to place.
  if (count > 0) std::copy_n(bytes, count, PlaceFor(count, record));
  // The record is written last: a failed allocation above leaves the store
  // as it was.
  (*blocks_[size_ / kRecordsPerBlock])[size_ % kRecordsPerBlock] = record;
  ++size_;
}

PacketStore::Packet PacketStore::At(int index) const {
  const Record& record = (*blocks_[index / kRecordsPerBlock])[index % kRecordsPerBlock];
  const std::uint8_t* bytes =
      record.count > 0 ? chunks_[record.chunk]->data() + record.offset : nullptr;
  return {record.time, bytes, record.count};
}

std::uint8_t* PacketStore::PlaceFor(int count, Record& record) {
  if (chunks_.empty() || kBytesPerChunk - chunkUsed_ < count) {
    chunks_.push_back(std::make_unique_for_overwrite<ByteChunk>());
    chunkUsed_ = 0;
  }
  record.chunk = static_cast<std::uint32_t>(chunks_.size() - 1);
  record.offset = static_cast<std::uint16_t>(chunkUsed_);
  chunkUsed_ += count;
  return chunks_.back()->data() + record.offset;
}

}  // namespace tessaly
