#include "recorder/packet_lines.h"

#include "core/local_time_text.h"
#include "modbus/frame_check.h"
#include "modbus/frame_decoder.h"

#include <array>
#include <string_view>

namespace tessaly::record {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    if (i > 0) out.push_back(' ');
    out.push_back(kHexDigits[bytes[i] >> 4]);
    out.push_back(kHexDigits[bytes[i] & 0x0F]);
  }
}

// A CSV field: quoted, since a summary holds commas.
void AppendCsvField(std::string& out, std::string_view text) {
  out.push_back('"');
  for (const char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace

PacketLines::PacketLines(LineFormat format, bool decode, bool withLines)
    : format_(format), decode_(decode), withLines_(withLines) {}

void PacketLines::Add(const std::uint8_t* bytes, int count, PacketTime endedAt, const std::string& line) {
  std::array<char, 40> time{};
  char* const timeEnd = WriteIsoDateTime(endedAt, time.data());
  if (format_ == LineFormat::kCsv) {
    if (!headerWritten_) {
      text_ += withLines_ ? "Date and time,Time,Line,Bytes,Data" : "Date and time,Time,Bytes,Data";
      text_ += decode_ ? ",Modbus\r\n" : "\r\n";
      headerWritten_ = true;
    }
    text_.append(time.data(), static_cast<std::size_t>(timeEnd - time.data()));
    text_.push_back(',');
    std::array<char, 16> timeOfDay{};
    text_.append(timeOfDay.data(), static_cast<std::size_t>(WriteTimeOfDay(endedAt, timeOfDay.data()) - timeOfDay.data()));
    text_.push_back(',');
    if (withLines_) {
      AppendCsvField(text_, line);
      text_.push_back(',');
    }
    text_ += std::to_string(count) + ',';
    AppendHex(text_, bytes, count);
    if (decode_) {
      text_.push_back(',');
      AppendCsvField(text_, Summary(bytes, count));
    }
    text_ += "\r\n";
    return;
  }
  text_.append(time.data(), static_cast<std::size_t>(timeEnd - time.data()));
  text_.push_back(' ');
  if (withLines_) text_ += line + ' ';
  AppendHex(text_, bytes, count);
  if (decode_) {
    text_ += "  | ";
    text_ += Summary(bytes, count);
  }
  text_.push_back('\n');
}

std::string PacketLines::Take() {
  std::string text;
  text.swap(text_);
  return text;
}

std::string PacketLines::Summary(const std::uint8_t* bytes, int count) {
  const modbus::FrameKind kind = modbus::CheckFrame(bytes, count);
  std::string summary = modbus::FrameKindName(kind);
  const modbus::FrameSummary frame = modbus::Summarize(bytes, count, hasPrevious_ ? &previous_ : nullptr);
  if (kind == modbus::FrameKind::Good) {
    const std::uint8_t* request = frame.direction == modbus::Direction::Response && hasPrevious_
                                      ? previousBytes_.data() : nullptr;
    const int requestCount = request != nullptr ? static_cast<int>(previousBytes_.size()) : 0;
    for (const modbus::DetailLine& line : modbus::DecodeFrame(bytes, count, frame.direction, request, requestCount)) {
      summary += "; " + line.label + ": " + line.value;
    }
    // One line per packet: a field that spans lines (a list of values) is
    // joined by spaces.
    for (char& c : summary) {
      if (c == '\n' || c == '\r') c = ' ';
    }
  }
  // Kept with its own copy of the bytes: the summary points into them.
  previousBytes_.assign(bytes, bytes + count);
  previous_ = frame;
  previous_.bytes = previousBytes_.data();
  hasPrevious_ = true;
  return summary;
}

}  // namespace tessaly::record
