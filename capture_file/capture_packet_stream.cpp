#include "capture_file/capture_packet_stream.h"

#include "capture_file/capture_file_writer.h"
#include "capture_file/pcapng_blocks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tessaly {
namespace {

// Read from a file this much at a time; a block longer than that is read
// whole into a buffer grown for it.
constexpr std::size_t kReadChunk = 1 << 20;
// The longest block read: far beyond any packet a row can hold (64 kB) or
// any line's description.
constexpr std::uint32_t kLargestBlock = 16 << 20;

std::uint16_t Load16(const char* at, bool swapped) {
  const auto b0 = static_cast<std::uint16_t>(static_cast<unsigned char>(at[0]));
  const auto b1 = static_cast<std::uint16_t>(static_cast<unsigned char>(at[1]));
  return swapped ? static_cast<std::uint16_t>(b0 << 8 | b1) : static_cast<std::uint16_t>(b1 << 8 | b0);
}

std::uint32_t Load32(const char* at, bool swapped) {
  const std::uint32_t low = Load16(at, swapped);
  const std::uint32_t high = Load16(at + 2, swapped);
  return swapped ? (low << 16 | high) : (high << 16 | low);
}

// Stamp units to microseconds.
PacketTime Micros(std::uint64_t units, std::uint64_t unitsPerSecond) {
  if (unitsPerSecond == 1'000'000) return static_cast<PacketTime>(units);
  const std::uint64_t seconds = units / unitsPerSecond;
  const std::uint64_t rest = units % unitsPerSecond;
  return static_cast<PacketTime>(seconds * 1'000'000 + rest * 1'000'000 / unitsPerSecond);
}

}  // namespace

bool NextCaptureOption(std::string_view& bytes, bool swapped, CaptureOption& option) {
  if (bytes.size() < 4) return false;
  const std::uint16_t code = Load16(bytes.data(), swapped);
  const std::uint16_t length = Load16(bytes.data() + 2, swapped);
  if (code == pcapng::kOptEnd || std::size_t{4} + length > bytes.size()) return false;
  option = {code, bytes.substr(4, length)};
  bytes.remove_prefix(std::min(bytes.size(), std::size_t{4} + ((length + 3u) & ~3u)));
  return true;
}

CapturePacketStream::CapturePacketStream(const std::string& path) : name_(path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) Fail(std::strerror(errno));
  struct stat status{};
  if (::fstat(fd_, &status) == 0) size_ = static_cast<std::uint64_t>(status.st_size);
  endOfFile_ = false;
  try {
    ReadHeader();
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

CapturePacketStream::CapturePacketStream(std::string_view bytes, std::string name)
    : name_(std::move(name)), data_(bytes), size_(bytes.size()) {
  ReadHeader();
}

CapturePacketStream::~CapturePacketStream() {
  if (fd_ >= 0) ::close(fd_);
}

void CapturePacketStream::Fail(const std::string& what) const {
  throw CaptureFileError("Cannot read the capture " + name_ + ": " + what);
}

std::uint16_t CapturePacketStream::U16(std::size_t at) const { return Load16(data_.data() + at_ + at, swapped_); }
std::uint32_t CapturePacketStream::U32(std::size_t at) const { return Load32(data_.data() + at_ + at, swapped_); }

bool CapturePacketStream::Ensure(std::size_t count) {
  if (data_.size() - at_ >= count) return true;
  if (fd_ < 0 || endOfFile_) return false;
  // Keep the unread rest at the buffer's start and read on after it.
  const std::size_t rest = data_.size() - at_;
  if (rest > 0) std::memmove(buffer_.data(), data_.data() + at_, rest);
  dataOffset_ += at_;
  at_ = 0;
  const std::size_t wanted = std::max(count, kReadChunk);
  if (buffer_.size() < wanted) buffer_.resize(wanted);
  std::size_t have = rest;
  while (have < wanted) {
    const ssize_t got = ::read(fd_, buffer_.data() + have, wanted - have);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Fail(std::strerror(errno));
    if (got == 0) {
      endOfFile_ = true;
      break;
    }
    have += static_cast<std::size_t>(got);
  }
  data_ = std::string_view(buffer_.data(), have);
  size_ = std::max<std::uint64_t>(size_, dataOffset_ + have);
  return have >= count;
}

std::uint32_t CapturePacketStream::TrailingLength(std::uint32_t length) {
  if (data_.size() - at_ >= length) return U32(length - 4);
  char bytes[4] = {};
  const off_t at = static_cast<off_t>(Offset() + length - 4);
  const ssize_t got = ::pread(fd_, bytes, sizeof bytes, at);
  if (got < 0) Fail(std::strerror(errno));
  if (got != static_cast<ssize_t>(sizeof bytes)) Fail("it was cut short while being read");
  return Load32(bytes, swapped_);
}

void CapturePacketStream::SkipTo(std::uint64_t offset) {
  if (fd_ < 0) {
    at_ = static_cast<std::size_t>(offset - dataOffset_);
    return;
  }
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) Fail(std::strerror(errno));
  dataOffset_ = offset;
  data_ = {};
  at_ = 0;
  endOfFile_ = false;
}

bool CapturePacketStream::FileHolds(std::uint64_t count) {
  if (data_.size() - at_ >= count) return true;
  if (fd_ < 0) return false;
  // A file still being written grows: ask again before calling it short.
  struct stat status{};
  if (::fstat(fd_, &status) == 0) size_ = std::max<std::uint64_t>(size_, static_cast<std::uint64_t>(status.st_size));
  return size_ - Offset() >= count;
}

void CapturePacketStream::ReadHeader() {
  if (!Ensure(4)) Fail("it is too short for a capture file");
  const std::uint32_t magic = Load32(data_.data(), false);
  const std::uint32_t swappedMagic = Load32(data_.data(), true);
  if (magic == pcapng::kSectionHeader) {
    format_ = CaptureFileFormat::kPcapng;
    return;
  }
  const auto isPcap = [](std::uint32_t value) {
    return value == pcap::kMagicMicroseconds || value == pcap::kMagicNanoseconds || value == pcap::kMagicModified;
  };
  if (!isPcap(magic) && !isPcap(swappedMagic)) Fail("it is not a pcapng or pcap file");
  format_ = CaptureFileFormat::kPcap;
  if (!Ensure(pcap::kHeaderSize)) Fail("its header is cut short");
  swapped_ = !isPcap(magic);
  pcapNanoseconds_ = U32(0) == pcap::kMagicNanoseconds;
  // The modified variant's records say more than the classic ones, after
  // the same 16 bytes: skipped.
  pcapRecordHeader_ = U32(0) == pcap::kMagicModified ? pcap::kModifiedRecordHeaderSize : pcap::kRecordHeaderSize;
  CapturedInterface link;
  link.linkType = static_cast<std::uint16_t>(U32(20));
  interfaces_.push_back(link);
  unitsPerSecond_.push_back(pcapNanoseconds_ ? 1'000'000'000 : 1'000'000);
  at_ += pcap::kHeaderSize;
}

bool CapturePacketStream::Next(CapturedPacketView& packet) {
  return format_ == CaptureFileFormat::kPcapng ? NextPcapng(packet) : NextPcap(packet);
}

bool CapturePacketStream::NextPcap(CapturedPacketView& packet) {
  if (!Ensure(pcapRecordHeader_)) {
    torn_ = data_.size() > at_;
    return false;
  }
  const std::uint32_t captured = U32(8);
  if (captured > kLargestBlock && FileHolds(std::uint64_t{pcapRecordHeader_} + captured)) {
    Fail("a packet at offset " + std::to_string(Offset()) + " is too long to read (" + std::to_string(captured) +
         " bytes)");
  }
  if (!FileHolds(std::uint64_t{pcapRecordHeader_} + captured) || !Ensure(pcapRecordHeader_ + std::size_t{captured})) {
    torn_ = true;
    return false;
  }
  const std::uint32_t fraction = U32(4);
  packet.interfaceId = 0;
  packet.stamp = PacketTime{U32(0)} * 1'000'000 + (pcapNanoseconds_ ? fraction / 1000 : fraction);
  packet.bytes = data_.substr(at_ + pcapRecordHeader_, captured);
  packet.firstByte.reset();
  packet.direction = CaptureInterface::Direction::kUnknown;
  packet.options = {};
  at_ += pcapRecordHeader_ + captured;
  return true;
}

void CapturePacketStream::ReadPacketOptions(CapturedPacketView& packet) const {
  std::string_view options = packet.options;
  CaptureOption option{};
  while (NextCaptureOption(options, swapped_, option)) {
    if (option.code == pcapng::kEpbFlags && option.value.size() == 4) {
      const std::uint32_t inOut = Load32(option.value.data(), swapped_) & 3;
      if (inOut == pcapng::kEpbInbound) packet.direction = CaptureInterface::Direction::kInbound;
      if (inOut == pcapng::kEpbOutbound) packet.direction = CaptureInterface::Direction::kOutbound;
    } else if (option.code == pcapng::kCustomBinaryCopyable &&
               (option.value.size() == 8 || option.value.size() == 12) &&
               Load32(option.value.data(), swapped_) == pcapng::kEnterpriseNumber) {
      // The first byte's offset before the end; the last byte's after it,
      // where the file keeps it.
      packet.firstByte = packet.stamp - PacketTime{Load32(option.value.data() + 4, swapped_)};
      if (option.value.size() == 12) packet.lastByte = packet.stamp - PacketTime{Load32(option.value.data() + 8, swapped_)};
    } else if (option.code == pcapng::kOptComment) {
      // Files written before the option kept the times in comments.
      if (!packet.firstByte) packet.firstByte = ParseFirstByteComment(option.value);
      if (!packet.lastByte) packet.lastByte = ParseLastByteComment(option.value);
    }
  }
}

void CapturePacketStream::ReadInterface(std::size_t body, std::size_t end) {
  CapturedInterface link;
  link.linkType = U16(body);
  std::uint64_t unitsPerSecond = 1'000'000;
  std::string_view options = data_.substr(at_ + body + 8, end - body - 8);
  CaptureOption option{};
  while (NextCaptureOption(options, swapped_, option)) {
    if (option.code == pcapng::kIfName) link.link.name = std::string(option.value);
    if (option.code == pcapng::kIfDescription) link.link.description = std::string(option.value);
    if (option.code == pcapng::kOptComment) {
      if (auto lineName = ParseLineNameComment(std::string(option.value))) link.link.lineName = *lineName;
    }
    if (option.code == pcapng::kIfSpeed && option.value.size() == 8) {
      const std::uint64_t first = Load32(option.value.data(), swapped_);
      const std::uint64_t second = Load32(option.value.data() + 4, swapped_);
      link.link.bitsPerSecond = swapped_ ? (first << 32 | second) : (second << 32 | first);
    }
    if (option.code == pcapng::kIfTsresol && option.value.size() == 1) {
      const auto code = static_cast<unsigned char>(option.value[0]);
      std::uint64_t units = 1;
      for (int i = 0; i < (code & 0x7F) && i < 19; ++i) units *= (code & 0x80) ? 2 : 10;
      unitsPerSecond = units;
    }
  }
  interfaces_.push_back(std::move(link));
  unitsPerSecond_.push_back(unitsPerSecond);
}

bool CapturePacketStream::NextPcapng(CapturedPacketView& packet) {
  for (;;) {
    if (!Ensure(12)) {
      torn_ = data_.size() > at_;
      return false;
    }
    const std::uint64_t offset = Offset();
    const std::uint32_t type = U32(0);
    if (type == pcapng::kSectionHeader) {
      // Each section says its own byte order and numbers its own interfaces.
      if (!Ensure(28)) {
        torn_ = true;
        return false;
      }
      swapped_ = false;
      if (U32(8) != pcapng::kByteOrderMagic) swapped_ = true;
      if (U32(8) != pcapng::kByteOrderMagic) Fail("a section has no byte-order mark");
      sectionBase_ = static_cast<std::uint32_t>(interfaces_.size());
    }
    const std::uint32_t length = U32(4);
    if (length < 12 || length % 4 != 0) {
      if (offset == 0) Fail("it is not a pcapng or pcap file");
      Fail("a block at offset " + std::to_string(offset) + " has a wrong length");
    }
    // A length past the end of the file is a block still being written (or
    // a lie): either way nothing whole follows.
    if (!FileHolds(length)) {
      torn_ = true;
      return false;
    }
    if (length > kLargestBlock) {
      // Never buffered whole: a length that lies must not cost its size in
      // memory, and blocks of other kinds are skipped unread.
      if (TrailingLength(length) != length) {
        Fail("a block at offset " + std::to_string(offset) + " has different lengths at its ends");
      }
      if (type == pcapng::kSectionHeader || type == pcapng::kInterfaceDescription ||
          type == pcapng::kEnhancedPacket || type == pcapng::kInterfaceStatistics) {
        Fail("a block at offset " + std::to_string(offset) + " is too long to read (" + std::to_string(length) +
             " bytes)");
      }
      SkipTo(offset + length);
      continue;
    }
    if (!Ensure(length)) {
      torn_ = true;
      return false;
    }
    if (U32(length - 4) != length) {
      Fail("a block at offset " + std::to_string(offset) + " has different lengths at its ends");
    }
    const std::size_t body = 8;
    const std::size_t end = length - 4;
    bool isPacket = false;
    if (type == pcapng::kInterfaceDescription && end - body >= 8) {
      ReadInterface(body, end);
    } else if (type == pcapng::kEnhancedPacket && end - body >= 20) {
      const std::uint32_t captured = U32(body + 12);
      if (captured > end - body - 20) Fail("a packet at offset " + std::to_string(offset) + " overruns its block");
      packet.interfaceId = sectionBase_ + U32(body);
      const std::uint64_t stamp = std::uint64_t{U32(body + 4)} << 32 | U32(body + 8);
      const std::uint64_t units =
          packet.interfaceId < unitsPerSecond_.size() ? unitsPerSecond_[packet.interfaceId] : 1'000'000;
      packet.stamp = Micros(stamp, units);
      packet.bytes = data_.substr(at_ + body + 20, captured);
      const std::size_t optionsAt = body + 20 + ((captured + 3u) & ~3u);
      packet.options = optionsAt < end ? data_.substr(at_ + optionsAt, end - optionsAt) : std::string_view();
      packet.swapped = swapped_;
      packet.firstByte.reset();
      packet.lastByte.reset();
      packet.direction = CaptureInterface::Direction::kUnknown;
      ReadPacketOptions(packet);
      isPacket = true;
    } else if (type == pcapng::kInterfaceStatistics && end - body >= 12) {
      const std::uint32_t interfaceId = sectionBase_ + U32(body);
      const std::uint64_t units = interfaceId < unitsPerSecond_.size() ? unitsPerSecond_[interfaceId] : 1'000'000;
      std::string_view options = data_.substr(at_ + body + 12, end - body - 12);
      CaptureOption option{};
      const auto stampOf = [this, units](std::string_view value) {
        return Micros(std::uint64_t{Load32(value.data(), swapped_)} << 32 | Load32(value.data() + 4, swapped_), units);
      };
      while (NextCaptureOption(options, swapped_, option)) {
        if (option.code == pcapng::kOptComment) comments_.emplace_back(option.value);
        if (option.value.size() != 8) continue;
        if (option.code == pcapng::kIsbStartTime) statistics_[interfaceId].firstMicros = stampOf(option.value);
        if (option.code == pcapng::kIsbEndTime) statistics_[interfaceId].lastMicros = stampOf(option.value);
        if (option.code == pcapng::kIsbIfRecv) {
          const std::uint64_t first = Load32(option.value.data(), swapped_);
          const std::uint64_t second = Load32(option.value.data() + 4, swapped_);
          statistics_[interfaceId].packets = swapped_ ? (first << 32 | second) : (second << 32 | first);
        }
      }
    }
    at_ += length;
    if (isPacket) return true;
  }
}

CaptureSpan CountCapture(CapturePacketStream& stream) {
  CaptureSpan span;
  CapturedPacketView packet;
  while (stream.Next(packet)) {
    if (span.packets == 0) span.start = packet.firstByte.value_or(packet.stamp);
    span.end = packet.stamp;
    ++span.packets;
  }
  return span;
}

}  // namespace tessaly
