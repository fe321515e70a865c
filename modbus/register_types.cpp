#include "modbus/register_types.h"

#include <charconv>

namespace tessaly::modbus {
namespace {

struct TableWord {
  Table table;
  const char* word;
};
constexpr TableWord kTableWords[] = {{Table::kCoils, "coils"},
                                     {Table::kDiscreteInputs, "inputs"},
                                     {Table::kInputRegisters, "input"},
                                     {Table::kHoldingRegisters, "holding"}};

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

std::optional<std::uint16_t> Address(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::optional<TypedRange> RangeOf(std::string_view text) {
  const std::vector<std::string_view> fields = Split(text, ':');
  if (fields.size() != 4) return std::nullopt;
  TypedRange range;
  bool tableKnown = false;
  for (const TableWord& word : kTableWords) {
    if (fields[0] == word.word) {
      range.table = word.table;
      tableKnown = true;
    }
  }
  const std::vector<std::string_view> bounds = Split(fields[1], '-');
  if (bounds.size() != 2) return std::nullopt;
  const std::optional<std::uint16_t> first = Address(bounds[0]);
  const std::optional<std::uint16_t> last = Address(bounds[1]);
  const auto type = ValueTypeOfShortName(std::string(fields[2]));
  if (!tableKnown || !first || !last || *first > *last || !type) return std::nullopt;
  if (fields[3] != "high" && fields[3] != "low") return std::nullopt;
  range.first = *first;
  range.last = *last;
  range.type = *type;
  range.order = fields[3] == "high" ? WordOrder::kHighFirst : WordOrder::kLowFirst;
  return range;
}

}  // namespace

void RegisterTypes::Set(const TypedRange& range) {
  std::vector<TypedRange> kept;
  for (const TypedRange& old : ranges_) {
    if (old.table != range.table || old.last < range.first || old.first > range.last) {
      kept.push_back(old);
      continue;
    }
    // What is left of the older range on either side of the new one.
    if (old.first < range.first) {
      TypedRange before = old;
      before.last = static_cast<std::uint16_t>(range.first - 1);
      kept.push_back(before);
    }
    if (old.last > range.last) {
      TypedRange after = old;
      after.first = static_cast<std::uint16_t>(range.last + 1);
      kept.push_back(after);
    }
  }
  kept.push_back(range);
  ranges_ = std::move(kept);
}

RegisterTypes::Reading RegisterTypes::At(Table table, std::uint16_t address) const {
  for (const TypedRange& range : ranges_) {
    if (range.table != table || address < range.first || address > range.last) continue;
    const int words = WordsOf(range.type);
    const int start = range.first + (address - range.first) / words * words;
    // A tail too short for a whole value reads as plain registers.
    if (start + words - 1 > range.last) break;
    return {range.type, range.order, static_cast<std::uint16_t>(start)};
  }
  return {ValueType::kUnsigned16, WordOrder::kHighFirst, address};
}

std::string RegisterTypes::ToText() const {
  std::string text;
  for (const TypedRange& range : ranges_) {
    if (!text.empty()) text += ';';
    for (const TableWord& word : kTableWords) {
      if (word.table == range.table) text += word.word;
    }
    text += ':' + std::to_string(range.first) + '-' + std::to_string(range.last) + ':' +
            ShortName(range.type) + ':' + (range.order == WordOrder::kHighFirst ? "high" : "low");
  }
  return text;
}

RegisterTypes RegisterTypes::FromText(std::string_view text, bool& ok) {
  ok = true;
  RegisterTypes types;
  if (text.empty()) return types;
  for (std::string_view part : Split(text, ';')) {
    const auto range = RangeOf(part);
    if (!range) {
      ok = false;
      continue;
    }
    types.Set(*range);
  }
  return types;
}

}  // namespace tessaly::modbus
