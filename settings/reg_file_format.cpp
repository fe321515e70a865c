#include "settings/reg_file_format.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <vector>

namespace tessaly {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// Hex data lines are wrapped before this width, as an export tool does.
constexpr std::size_t kHexLineWidth = 80;

std::atomic<std::uint64_t> parseCount{0};

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return lines;
}

bool ConsumePrefix(std::string_view& text, std::string_view prefix) {
  if (text.size() < prefix.size() || !SameName(text.substr(0, prefix.size()), prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// Whole text as an unsigned number of 1 to 8 hex digits.
std::optional<std::uint32_t> ParseHexNumber(std::string_view text) {
  std::uint32_t number = 0;
  if (text.empty() || text.size() > 8) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, 16);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// A quoted text at the start of `text`, with \\ and \" unescaped; the rest
// of `text` follows the closing quote.
std::optional<std::string> ConsumeQuoted(std::string_view& text) {
  if (text.empty() || text.front() != '"') return std::nullopt;
  std::string result;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      text.remove_prefix(i + 1);
      return result;
    }
    if (c == '\\') {
      if (i + 1 == text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) return std::nullopt;
      ++i;
    }
    result += text[i];
  }
  return std::nullopt;  // no closing quote: the line was cut off
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  if (Trimmed(text).empty()) return bytes;
  while (true) {
    const std::size_t comma = std::min(text.find(','), text.size());
    const std::string_view digits = Trimmed(text.substr(0, comma));
    const auto number = digits.size() <= 2 ? ParseHexNumber(digits) : std::nullopt;
    if (!number) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(*number));
    if (comma == text.size()) return bytes;
    text.remove_prefix(comma + 1);
  }
}

std::optional<RegistryValue> ParseValueData(std::string_view text) {
  RegistryValue value;
  if (!text.empty() && text.front() == '"') {
    const auto quoted = ConsumeQuoted(text);
    if (!quoted || !Trimmed(text).empty()) return std::nullopt;
    value.type = RegistryDataType::String;
    value.data = StringData(*quoted);
    return value;
  }
  if (ConsumePrefix(text, "dword:")) {
    const auto number = ParseHexNumber(Trimmed(text));
    if (!number) return std::nullopt;
    value.type = RegistryDataType::Integer;
    for (int shift = 0; shift < 32; shift += 8) value.data.push_back(static_cast<std::uint8_t>(*number >> shift));
    return value;
  }
  if (ConsumePrefix(text, "hex:")) {
    value.type = RegistryDataType::Binary;
  } else if (ConsumePrefix(text, "hex(")) {
    const std::size_t close = text.find("):");
    const auto type = close == std::string_view::npos ? std::nullopt : ParseHexNumber(text.substr(0, close));
    if (!type) return std::nullopt;
    value.type = static_cast<RegistryDataType>(*type);
    text.remove_prefix(close + 2);
  } else {
    return std::nullopt;  // includes "=-", a deletion, which a store file never holds
  }
  auto bytes = ParseHexBytes(text);
  if (!bytes) return std::nullopt;
  value.data = std::move(*bytes);
  return value;
}

// Parses the value line at lines[index], joining the continuation lines of
// wrapped hex data, and leaves index on its last line.
std::optional<RegistryValue> ParseValueLine(const std::vector<std::string_view>& lines, std::size_t& index) {
  std::string_view line = Trimmed(lines[index]);
  std::string name;
  if (line.front() == '@') {
    line.remove_prefix(1);
  } else if (auto quoted = ConsumeQuoted(line)) {
    name = std::move(*quoted);
  } else {
    return std::nullopt;
  }
  line = Trimmed(line);
  if (line.empty() || line.front() != '=') return std::nullopt;
  std::string data(Trimmed(line.substr(1)));
  if (SameName(std::string_view(data).substr(0, 3), "hex")) {
    while (!data.empty() && data.back() == '\\') {
      data.pop_back();
      if (++index == lines.size()) return std::nullopt;  // cut off inside the data
      data += Trimmed(lines[index]);
    }
  }
  auto value = ParseValueData(data);
  if (value) value->name = std::move(name);
  return value;
}

std::string HexByte(std::uint8_t byte) {
  constexpr char kDigits[] = "0123456789abcdef";
  return {kDigits[byte >> 4], kDigits[byte & 0xF]};
}

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t codePoint = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      codePoint = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    constexpr std::uint32_t kSmallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallestOfLength[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string Quoted(std::string_view text) {
  std::string result = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') result += '\\';
    result += c;
  }
  return result + '"';
}

// The quoted form carries UTF-8 text on one line followed by exactly one
// terminating zero byte; anything else keeps its bytes in the hex form.
bool FitsQuotedForm(const RegistryValue& value) {
  if (value.type != RegistryDataType::String || value.data.empty() || value.data.back() != 0) return false;
  const std::string_view text(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1);
  return IsStorableName(text) && IsValidUtf8(text);
}

std::string FormatHexData(std::string line, const std::vector<std::uint8_t>& data) {
  std::string result;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const bool last = i + 1 == data.size();
    const std::string piece = HexByte(data[i]) + (last ? "" : ",");
    // Room is kept for the continuation backslash.
    if (line.size() + piece.size() + 1 > kHexLineWidth && i > 0) {
      result += line + "\\\n";
      line = "  ";
    }
    line += piece;
  }
  return result + line;
}

std::string FormatValueLine(const RegistryValue& value) {
  std::string line = value.name.empty() ? std::string("@") : Quoted(value.name);
  line += '=';
  if (FitsQuotedForm(value)) {
    return line + Quoted(std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1));
  }
  if (value.type == RegistryDataType::Integer && value.data.size() == 4) {
    line += "dword:";
    for (int i = 3; i >= 0; --i) line += HexByte(value.data[static_cast<std::size_t>(i)]);
    return line;
  }
  if (value.type == RegistryDataType::Binary) {
    line += "hex:";
  } else {
    char number[16];
    const auto end = std::to_chars(number, number + sizeof number, static_cast<std::uint32_t>(value.type), 16).ptr;
    line += "hex(" + std::string(number, end) + "):";
  }
  return FormatHexData(std::move(line), value.data);
}

}  // namespace

bool IsStorableName(std::string_view name) {
  return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::uint64_t ParseCount() { return parseCount.load(std::memory_order_relaxed); }

std::optional<RegistryTree> ParseRegFile(std::string_view text) {
  parseCount.fetch_add(1, std::memory_order_relaxed);
  if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
  const std::vector<std::string_view> lines = SplitLines(text);
  RegistryTree tree;
  bool headerSeen = false;
  RegistryKey* key = nullptr;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const std::string_view line = Trimmed(lines[index]);
    if (line.empty() || line.front() == ';') continue;
    if (!headerSeen) {
      if (line != kRegFileHeader) return std::nullopt;
      headerSeen = true;
    } else if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3 || line[1] == '-') return std::nullopt;
      std::string path = NormalizedKeyPath(line.substr(1, line.size() - 2));
      if (path.empty()) return std::nullopt;
      // A key listed twice gathers the values of both sections.
      key = &tree.Section(path);
    } else if (key != nullptr && (line.front() == '"' || line.front() == '@')) {
      auto value = ParseValueLine(lines, index);
      if (!value) return std::nullopt;
      key->SetValue(std::move(*value));
    } else {
      return std::nullopt;
    }
  }
  return tree;
}

std::string FormatRegFile(const RegistryTree& tree) {
  std::string text = std::string(kRegFileHeader) + "\n\n";
  for (const RegistryKey& key : tree.Keys()) {
    // "[-" starts a deletion, which the reader refuses; a leading backslash,
    // which the reader drops, keeps such a name a key.
    text += key.Path().starts_with('-') ? "[\\" : "[";
    text += key.Path() + "]\n";
    for (const RegistryValue& value : key.Values()) text += FormatValueLine(value) + "\n";
    text += "\n";
  }
  return text;
}

}  // namespace tessaly
