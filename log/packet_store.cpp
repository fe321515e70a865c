#include "log/packet_store.h"

#include <algorithm>
#include <malloc.h>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tessaly {

namespace {

// How long before time a byte came, as the record keeps it.
std::uint32_t Ago(PacketTime time, PacketTime byte) {
  const PacketTime ago = std::clamp<PacketTime>(time - byte, 0, PacketTime{UINT32_MAX} - 1);
  return static_cast<std::uint32_t>(ago);
}

// Room for one more entry, made before anything is allocated for it so that
// adding it cannot fail. The room doubles: growing by one entry reallocated
// the table at every new chunk and left the old tables as holes in the heap.
template <class Table>
void ReserveOneMore(Table& table) {
  if (table.size() == table.capacity()) table.reserve(std::max<std::size_t>(16, 2 * table.capacity()));
}

}  // namespace

void PacketStore::Append(PacketTime time, const std::uint8_t* bytes, int count, std::optional<PacketTime> firstByte,
                         std::optional<PacketTime> lastByte, int line) {
  // Checked before anything is stored: a packet is never put on a line
  // the record cannot name.
  if (line < 0 || line >= kMaxLines) {
    throw std::invalid_argument("A packet of line " + std::to_string(line) + " cannot be logged");
  }
  Append(time, bytes, count);
  // The record is the last one written, and only this thread writes.
  Record& record = blockData_[(size_ - 1) % kRecordsPerBlock];
  if (firstByte) record.firstByteAgo = Ago(time, *firstByte);
  if (lastByte) record.lastByteAgo = Ago(time, *lastByte);
  record.line = static_cast<std::uint32_t>(line);
}

void PacketStore::Append(PacketTime time, const std::uint8_t* bytes, int count) {
  if (count < 0 || count > kMaxPacketSize) {
    throw std::invalid_argument("A packet of " + std::to_string(count) +
                                " bytes cannot be logged");
  }
  if (size_ == std::numeric_limits<int>::max()) {
    throw std::length_error("The packet log is full");
  }
  // The record's chunk index has 24 bits (its top byte is the line): a
  // packet that would need one chunk more than it can name is refused.
  const bool newChunk = chunkData_ == nullptr || kBytesPerChunk - chunkUsed_ < count;
  if (count > 0 && newChunk && tables_.chunks.size() >= kMaxChunks) {
    throw std::length_error("The packet log is full");
  }
  // A block allocated for an append that failed later is used by the next.
  if (size_ / kRecordsPerBlock == static_cast<int>(tables_.blocks.size())) {
    ReserveOneMore(tables_.blocks);
    auto block = Allocate<RecordBlock>();
    blockData_ = block->data();
    tables_.blocks.push_back(std::move(block));
  }
  Record record{};
  record.time = time;
  record.count = static_cast<std::uint16_t>(count);
  record.firstByteAgo = kUnknownAgo;
  record.lastByteAgo = kUnknownAgo;
  // An empty packet has no bytes to place.
  if (count > 0) std::copy_n(bytes, count, PlaceFor(count, record));
  // The record is written last: a failed allocation above leaves the store
  // with the same packets (at worst with a spare block for the next one).
  blockData_[size_ % kRecordsPerBlock] = record;
  ++size_;
}

PacketStore::Packet PacketStore::Read(const Tables& tables, int index) {
  const Record& record = (*tables.blocks[index / kRecordsPerBlock])[index % kRecordsPerBlock];
  const std::uint8_t* bytes =
      record.count > 0 ? tables.chunks[record.chunk]->data() + record.offset : nullptr;
  Packet packet{record.time, bytes, record.count};
  packet.line = static_cast<int>(record.line);
  if (record.firstByteAgo != kUnknownAgo) packet.firstByte = record.time - record.firstByteAgo;
  if (record.lastByteAgo != kUnknownAgo) packet.lastByte = record.time - record.lastByteAgo;
  return packet;
}

PacketStore::Snapshot PacketStore::TakeSnapshot() const {
  Snapshot snapshot;
  snapshot.tables_ = tables_;
  snapshot.size_ = size_;
  return snapshot;
}

void PacketStore::Clear() {
  tables_ = Tables();
  // Its disk space goes with the last snapshot that still maps it; the next
  // chunk starts a new file (the disk may have room again).
  file_.reset();
  backingProblem_.clear();
  chunkData_ = nullptr;
  chunkUsed_ = 0;
  blockData_ = nullptr;
  size_ = 0;
  allocated_ = 0;
#ifdef __GLIBC__
  // The chunks come from the heap (they are below the size that gets its
  // own mapping); without a trim the process would keep their pages.
  malloc_trim(0);
#endif
}

bool PacketStore::SetBackingDirectory(const std::string& folder, std::size_t segmentBytes) {
  backingFolder_ = folder;
  segmentBytes_ = segmentBytes;
  file_.reset();
  backingProblem_.clear();
  return File() != nullptr;
}

BackingFile* PacketStore::File() {
  if (file_ != nullptr || backingFolder_.empty() || !backingProblem_.empty()) return file_.get();
  try {
    file_ = std::make_unique<BackingFile>(backingFolder_, segmentBytes_);
  } catch (const std::system_error& error) {
    // The heap still works: the log goes on there, and the owner tells.
    backingProblem_ = "No file for the log could be made in " + backingFolder_ + ": " + error.code().message();
  }
  return file_.get();
}

namespace {
// Two segments a call: dropping two whole segments' pages (after a scan read
// them all) takes a few milliseconds, and at two calls a second the whole
// file of a 50-million-row log is visited in about six seconds.
constexpr int kSegmentsPerCall = 2;
}  // namespace

void PacketStore::ReleasePages() {
  if (file_ != nullptr) file_->ReleasePages(kSegmentsPerCall);
}

int PacketStore::ReleaseCallsPerSweep() const {
  if (file_ == nullptr) return 0;
  return static_cast<int>((file_->SegmentCount() + kSegmentsPerCall - 1) / kSegmentsPerCall);
}

template <class Chunk>
std::shared_ptr<Chunk> PacketStore::Allocate() {
  if (limit_ - std::min(limit_, allocated_) < sizeof(Chunk)) throw std::bad_alloc();
  std::shared_ptr<Chunk> chunk;
  if (BackingFile* file = File()) {
    // The chunk lives in the file's segment and keeps it mapped. Left
    // uninitialised: every byte is written before it is read.
    try {
      std::shared_ptr<void> room = file->Take(sizeof(Chunk));
      chunk = std::shared_ptr<Chunk>(room, new (room.get()) Chunk);
    } catch (const BackingSpaceExhausted& full) {
      // The disk takes no more of the file, but the memory may still take
      // the log: it goes on in the heap, and the owner tells. The chunks
      // already in the file keep their segments mapped.
      file_.reset();
      backingProblem_ = full.what();
    }
  }
  if (!chunk) chunk.reset(new Chunk);
  allocated_ += sizeof(Chunk);
  return chunk;
}

std::uint8_t* PacketStore::PlaceFor(int count, Record& record) {
  if (chunkData_ == nullptr || kBytesPerChunk - chunkUsed_ < count) {
    ReserveOneMore(tables_.chunks);
    auto chunk = Allocate<ByteChunk>();
    chunkData_ = chunk->data();
    chunkUsed_ = 0;
    tables_.chunks.push_back(std::move(chunk));
  }
  record.chunk = static_cast<std::uint32_t>(tables_.chunks.size() - 1);
  record.offset = static_cast<std::uint16_t>(chunkUsed_);
  chunkUsed_ += count;
  return chunkData_ + record.offset;
}

}  // namespace tessaly
