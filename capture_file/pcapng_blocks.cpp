#include "capture_file/pcapng_blocks.h"

#include "capture_file/capture_file_writer.h"

#include <sys/utsname.h>

#include <algorithm>
#include <limits>

namespace tessaly {
namespace {

void Put16(std::string& out, std::uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}

void Put32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void Put64(std::string& out, std::uint64_t value) {
  Put32(out, static_cast<std::uint32_t>(value & 0xFFFFFFFF));
  Put32(out, static_cast<std::uint32_t>(value >> 32));
}

void PadTo32Bits(std::string& out) {
  while (out.size() % 4 != 0) out.push_back('\0');
}

// Options and bodies are padded to 32 bits relative to the block's start;
// every block starts at a multiple of 4, so padding the buffer does it.
void PutOption(std::string& out, std::uint16_t code, std::string_view value) {
  // An option's length is 16 bits: a longer text is cut rather than wrapped.
  const std::size_t length = std::min<std::size_t>(value.size(), 0xFFFC);
  Put16(out, code);
  Put16(out, static_cast<std::uint16_t>(length));
  out.append(value.data(), length);
  PadTo32Bits(out);
}

void PutOption64(std::string& out, std::uint16_t code, std::uint64_t value) {
  Put16(out, code);
  Put16(out, 8);
  Put64(out, value);
}

// The 64-bit stamp in units of if_tsresol (microseconds), high word first.
void PutStamp(std::string& out, std::int64_t stampMicros) {
  const auto stamp = static_cast<std::uint64_t>(std::max<std::int64_t>(stampMicros, 0));
  Put32(out, static_cast<std::uint32_t>(stamp >> 32));
  Put32(out, static_cast<std::uint32_t>(stamp & 0xFFFFFFFF));
}

// Starts a block at the end of out; Finish writes its total length at both
// ends once the body is known.
class Block {
 public:
  Block(std::string& out, std::uint32_t type) : out_(out), start_(out.size()) {
    Put32(out_, type);
    Put32(out_, 0);
  }
  void Finish(bool hasOptions) {
    if (hasOptions) {
      Put16(out_, pcapng::kOptEnd);
      Put16(out_, 0);
    }
    const auto total = static_cast<std::uint32_t>(out_.size() - start_ + 4);
    Put32(out_, total);
    for (int i = 0; i < 4; ++i) out_[start_ + 4 + i] = static_cast<char>((total >> (8 * i)) & 0xFF);
  }

 private:
  std::string& out_;
  std::size_t start_;
};

}  // namespace

namespace pcapng {

void AppendSectionHeader(std::string& out, std::string_view application) {
  // "Linux 6.1.0-13-amd64" and "x86_64", as the kernel names them.
  static const auto [system, machine] = [] {
    struct utsname names {};
    if (::uname(&names) != 0) return std::pair<std::string, std::string>();
    return std::pair<std::string, std::string>(std::string(names.sysname) + " " + names.release, names.machine);
  }();
  Block block(out, kSectionHeader);
  Put32(out, kByteOrderMagic);
  Put16(out, 1);  // version 1.0
  Put16(out, 0);
  Put64(out, ~std::uint64_t{0});  // section length not given: written as it goes
  if (!machine.empty()) PutOption(out, kShbHardware, machine);
  if (!system.empty()) PutOption(out, kShbOs, system);
  PutOption(out, kShbUserApplication, application);
  block.Finish(true);
}

}  // namespace pcapng

std::string LineNameComment(const std::string& lineName) { return "line " + lineName; }

std::optional<std::string> ParseLineNameComment(const std::string& comment) {
  constexpr std::string_view kPrefix = "line ";
  if (comment.size() <= kPrefix.size() || comment.compare(0, kPrefix.size(), kPrefix) != 0) return std::nullopt;
  return comment.substr(kPrefix.size());
}

namespace pcapng {

void AppendInterface(std::string& out, const CaptureInterface& link) {
  Block block(out, kInterfaceDescription);
  Put16(out, kCaptureLinkType);
  Put16(out, 0);
  Put32(out, kCaptureSnapLength);
  if (!link.name.empty()) PutOption(out, kIfName, link.name);
  if (!link.description.empty()) PutOption(out, kIfDescription, link.description);
  if (link.bitsPerSecond) PutOption64(out, kIfSpeed, *link.bitsPerSecond);
  if (!link.lineName.empty()) PutOption(out, kOptComment, LineNameComment(link.lineName));
  PutOption(out, kIfTsresol, std::string_view("\x06", 1));  // microseconds
  block.Finish(true);
}

std::optional<std::uint32_t> FirstByteOffset(std::int64_t endMicros, std::int64_t firstByteMicros) {
  const std::int64_t offset = endMicros - firstByteMicros;
  if (offset < 0 || offset > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return static_cast<std::uint32_t>(offset);
}

void AppendPacket(std::string& out, std::uint32_t interfaceId, std::int64_t stampMicros,
                  const std::uint8_t* bytes, int count, const std::vector<std::string>& comments,
                  std::optional<std::int64_t> firstByteMicros, CaptureInterface::Direction direction,
                  std::optional<std::int64_t> lastByteMicros) {
  const auto length = static_cast<std::uint32_t>(std::max(count, 0));
  Block block(out, kEnhancedPacket);
  Put32(out, interfaceId);
  PutStamp(out, stampMicros);
  Put32(out, length);  // captured
  Put32(out, length);  // on the line
  if (length > 0) out.append(reinterpret_cast<const char*>(bytes), length);
  PadTo32Bits(out);
  bool hasOptions = false;
  if (direction != CaptureInterface::Direction::kUnknown) {
    Put16(out, kEpbFlags);
    Put16(out, 4);
    Put32(out, direction == CaptureInterface::Direction::kInbound ? kEpbInbound : kEpbOutbound);
    hasOptions = true;
  }
  // The first and last bytes' arrival in 16 bytes (enterprise number and
  // two offsets before the end; 12 without the last), where two comments
  // took 88 and made every packet a commented one.
  const std::optional<std::uint32_t> offset =
      firstByteMicros ? FirstByteOffset(stampMicros, *firstByteMicros) : std::nullopt;
  const std::optional<std::uint32_t> lastOffset =
      lastByteMicros ? FirstByteOffset(stampMicros, *lastByteMicros) : std::nullopt;
  if (offset && (lastOffset || !lastByteMicros)) {
    Put16(out, kCustomBinaryCopyable);
    Put16(out, lastOffset ? 12 : 8);
    Put32(out, kEnterpriseNumber);
    Put32(out, *offset);
    if (lastOffset) Put32(out, *lastOffset);
    hasOptions = true;
  } else if (firstByteMicros) {
    PutOption(out, kOptComment, FirstByteComment(*firstByteMicros));
    if (lastByteMicros) PutOption(out, kOptComment, LastByteComment(*lastByteMicros));
    hasOptions = true;
  }
  for (const std::string& comment : comments) PutOption(out, kOptComment, comment);
  block.Finish(hasOptions || !comments.empty());
}

void AppendStatistics(std::string& out, std::uint32_t interfaceId, std::int64_t stampMicros,
                      const std::vector<std::string>& comments, const InterfaceCounts* counts) {
  Block block(out, kInterfaceStatistics);
  Put32(out, interfaceId);
  PutStamp(out, stampMicros);
  if (counts != nullptr) {
    Put16(out, kIsbStartTime);
    Put16(out, 8);
    PutStamp(out, counts->firstMicros);
    Put16(out, kIsbEndTime);
    Put16(out, 8);
    PutStamp(out, counts->lastMicros);
    PutOption64(out, kIsbIfRecv, counts->packets);
  }
  for (const std::string& comment : comments) PutOption(out, kOptComment, comment);
  block.Finish(counts != nullptr || !comments.empty());
}

}  // namespace pcapng

namespace pcap {
namespace {

char* Write32(char* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) *out++ = static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

}  // namespace

char* WriteFileHeader(char* out, std::uint32_t snapLength) {
  out = Write32(out, kMagicMicroseconds);
  out = Write32(out, 2 | (4 << 16));  // version 2.4, two 16-bit halves
  out = Write32(out, 0);              // stamps are UTC
  out = Write32(out, 0);
  out = Write32(out, snapLength);
  return Write32(out, kCaptureLinkType);
}

char* WriteRecord(char* out, std::int64_t stampMicros, const std::uint8_t* bytes, int count) {
  // pcap counts whole seconds from the epoch in 32 bits, which covers every
  // time this program can see.
  const std::int64_t stamp = std::max<std::int64_t>(stampMicros, 0);
  const auto length = static_cast<std::uint32_t>(std::max(count, 0));
  out = Write32(out, static_cast<std::uint32_t>(stamp / 1'000'000));
  out = Write32(out, static_cast<std::uint32_t>(stamp % 1'000'000));
  out = Write32(out, length);
  out = Write32(out, length);
  return length > 0 ? std::copy_n(reinterpret_cast<const char*>(bytes), length, out) : out;
}

void AppendFileHeader(std::string& out, std::uint32_t snapLength) {
  const std::size_t start = out.size();
  out.resize(start + kHeaderSize);
  WriteFileHeader(out.data() + start, snapLength);
}

void AppendRecord(std::string& out, std::int64_t stampMicros, const std::uint8_t* bytes, int count) {
  const std::size_t start = out.size();
  out.resize(start + kRecordHeaderSize + static_cast<std::size_t>(std::max(count, 0)));
  WriteRecord(out.data() + start, stampMicros, bytes, count);
}

}  // namespace pcap
}  // namespace tessaly
