#include "capture_file/capture_file_reader.h"

#include "capture_file/capture_file_writer.h"
#include "capture_file/pcapng_blocks.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tessaly {
namespace {

// Little- or big-endian numbers at an offset of the file's bytes.
class Bytes {
 public:
  explicit Bytes(std::string_view data) : data_(data) {}
  void SetSwapped(bool swapped) { swapped_ = swapped; }
  bool Swapped() const { return swapped_; }
  std::size_t Size() const { return data_.size(); }
  std::uint16_t U16(std::size_t at) const {
    const auto b = [&](std::size_t i) { return static_cast<std::uint16_t>(static_cast<unsigned char>(data_[at + i])); };
    return swapped_ ? static_cast<std::uint16_t>(b(0) << 8 | b(1)) : static_cast<std::uint16_t>(b(1) << 8 | b(0));
  }
  std::uint32_t U32(std::size_t at) const {
    const std::uint32_t low = U16(at);
    const std::uint32_t high = U16(at + 2);
    return swapped_ ? (low << 16 | high) : (high << 16 | low);
  }
  std::string_view View(std::size_t at, std::size_t count) const { return data_.substr(at, count); }

 private:
  std::string_view data_;
  bool swapped_ = false;
};

[[noreturn]] void NotACapture(const std::string& name, const std::string& what) {
  throw CaptureFileError("Cannot read the capture " + name + ": " + what);
}

// Units of a stamp per microsecond from if_tsresol (a power of ten or two).
struct Resolution {
  std::uint64_t unitsPerSecond = 1'000'000;
  PacketTime Micros(std::uint64_t units) const {
    if (unitsPerSecond == 1'000'000) return static_cast<PacketTime>(units);
    const std::uint64_t seconds = units / unitsPerSecond;
    const std::uint64_t rest = units % unitsPerSecond;
    return static_cast<PacketTime>(seconds * 1'000'000 + rest * 1'000'000 / unitsPerSecond);
  }
};

struct Option {
  std::uint16_t code;
  std::string_view value;
};

// The options of a block from at to end (the block's trailing length).
std::vector<Option> OptionsOf(const Bytes& bytes, std::size_t at, std::size_t end) {
  std::vector<Option> options;
  while (at + 4 <= end) {
    const std::uint16_t code = bytes.U16(at);
    const std::uint16_t length = bytes.U16(at + 2);
    if (code == pcapng::kOptEnd || at + 4 + length > end) break;
    options.push_back({code, bytes.View(at + 4, length)});
    at += 4 + ((length + 3u) & ~3u);
  }
  return options;
}

void ReadPcapng(const Bytes& bytes, CaptureFileContents& contents, const std::string& name) {
  Bytes view = bytes;
  std::vector<Resolution> resolutions;  // of the current section's interfaces
  std::size_t at = 0;
  while (at < view.Size()) {
    if (view.Size() - at < 12) {
      contents.torn = true;
      return;
    }
    std::uint32_t type = view.U32(at);
    if (type == pcapng::kSectionHeader) {
      // Each section says its own byte order.
      if (view.Size() - at < 28) {
        contents.torn = true;
        return;
      }
      view.SetSwapped(false);
      if (view.U32(at + 8) != pcapng::kByteOrderMagic) view.SetSwapped(true);
      if (view.U32(at + 8) != pcapng::kByteOrderMagic) NotACapture(name, "a section has no byte-order mark");
      resolutions.clear();
    }
    const std::uint32_t length = view.U32(at + 4);
    if (length < 12 || length % 4 != 0) {
      if (at == 0) NotACapture(name, "it is not a pcapng or pcap file");
      NotACapture(name, "a block at offset " + std::to_string(at) + " has a wrong length");
    }
    if (view.Size() - at < length) {
      contents.torn = true;
      return;
    }
    if (view.U32(at + length - 4) != length) {
      NotACapture(name, "a block at offset " + std::to_string(at) + " has different lengths at its ends");
    }
    const std::size_t body = at + 8;
    const std::size_t end = at + length - 4;
    if (type == pcapng::kInterfaceDescription && end - body >= 8) {
      CapturedInterface link;
      link.linkType = view.U16(body);
      Resolution resolution;
      for (const Option& option : OptionsOf(view, body + 8, end)) {
        if (option.code == pcapng::kIfName) link.link.name = std::string(option.value);
        if (option.code == pcapng::kIfDescription) link.link.description = std::string(option.value);
        if (option.code == pcapng::kOptComment) {
          if (auto lineName = ParseLineNameComment(std::string(option.value))) link.link.lineName = *lineName;
        }
        if (option.code == pcapng::kIfSpeed && option.value.size() == 8) {
          Bytes speed(option.value);
          speed.SetSwapped(view.Swapped());
          const std::uint64_t low = speed.U32(view.Swapped() ? 4 : 0);
          const std::uint64_t high = speed.U32(view.Swapped() ? 0 : 4);
          link.link.bitsPerSecond = high << 32 | low;
        }
        if (option.code == pcapng::kIfTsresol && option.value.size() == 1) {
          const auto code = static_cast<unsigned char>(option.value[0]);
          std::uint64_t units = 1;
          for (int i = 0; i < (code & 0x7F) && i < 19; ++i) units *= (code & 0x80) ? 2 : 10;
          resolution.unitsPerSecond = units;
        }
      }
      contents.interfaces.push_back(std::move(link));
      resolutions.push_back(resolution);
    } else if (type == pcapng::kEnhancedPacket && end - body >= 20) {
      CapturedPacket packet;
      packet.interfaceId = view.U32(body);
      const std::uint64_t stamp = std::uint64_t{view.U32(body + 4)} << 32 | view.U32(body + 8);
      const Resolution resolution =
          packet.interfaceId < resolutions.size() ? resolutions[packet.interfaceId] : Resolution{};
      packet.stamp = resolution.Micros(stamp);
      const std::uint32_t captured = view.U32(body + 12);
      if (captured > end - body - 20) NotACapture(name, "a packet at offset " + std::to_string(at) + " overruns its block");
      const std::string_view data = view.View(body + 20, captured);
      packet.bytes.assign(data.begin(), data.end());
      for (const Option& option : OptionsOf(view, body + 20 + ((captured + 3u) & ~3u), end)) {
        if (option.code != pcapng::kOptComment) continue;
        std::string comment(option.value);
        if (!packet.firstByte) packet.firstByte = ParseFirstByteComment(comment);
        packet.comments.push_back(std::move(comment));
      }
      contents.packets.push_back(std::move(packet));
    } else if (type == pcapng::kInterfaceStatistics && end - body >= 12) {
      for (const Option& option : OptionsOf(view, body + 12, end)) {
        if (option.code == pcapng::kOptComment) contents.comments.emplace_back(option.value);
      }
    }
    at += length;
  }
}

void ReadPcap(const Bytes& header, std::string_view data, CaptureFileContents& contents) {
  Bytes view(data);
  view.SetSwapped(header.U32(0) != pcap::kMagicMicroseconds && header.U32(0) != pcap::kMagicNanoseconds);
  const bool nanoseconds = view.U32(0) == pcap::kMagicNanoseconds;
  CapturedInterface link;
  link.linkType = static_cast<std::uint16_t>(view.U32(20));
  contents.interfaces.push_back(link);
  std::size_t at = pcap::kHeaderSize;
  while (at < data.size()) {
    if (data.size() - at < pcap::kRecordHeaderSize) {
      contents.torn = true;
      return;
    }
    const std::uint32_t captured = view.U32(at + 8);
    if (data.size() - at - pcap::kRecordHeaderSize < captured) {
      contents.torn = true;
      return;
    }
    CapturedPacket packet;
    const std::uint32_t fraction = view.U32(at + 4);
    packet.stamp = PacketTime{view.U32(at)} * 1'000'000 + (nanoseconds ? fraction / 1000 : fraction);
    const std::string_view bytes = data.substr(at + pcap::kRecordHeaderSize, captured);
    packet.bytes.assign(bytes.begin(), bytes.end());
    contents.packets.push_back(std::move(packet));
    at += pcap::kRecordHeaderSize + captured;
  }
}

}  // namespace

CaptureFileContents ParseCaptureFile(std::string_view data, const std::string& name) {
  CaptureFileContents contents;
  Bytes bytes(data);
  if (data.size() < 4) NotACapture(name, "it is too short for a capture file");
  const std::uint32_t magic = bytes.U32(0);
  Bytes swapped(data);
  swapped.SetSwapped(true);
  const std::uint32_t swappedMagic = swapped.U32(0);
  if (magic == pcapng::kSectionHeader) {
    contents.format = CaptureFileFormat::kPcapng;
    ReadPcapng(bytes, contents, name);
  } else if (magic == pcap::kMagicMicroseconds || magic == pcap::kMagicNanoseconds ||
             swappedMagic == pcap::kMagicMicroseconds || swappedMagic == pcap::kMagicNanoseconds) {
    contents.format = CaptureFileFormat::kPcap;
    if (data.size() < pcap::kHeaderSize) NotACapture(name, "its header is cut short");
    ReadPcap(bytes, data, contents);
  } else {
    NotACapture(name, "it is not a pcapng or pcap file");
  }
  return contents;
}

CaptureFileContents ReadCaptureFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) NotACapture(path, std::strerror(errno));
  std::ostringstream data;
  data << file.rdbuf();
  return ParseCaptureFile(data.str(), path);
}

}  // namespace tessaly
