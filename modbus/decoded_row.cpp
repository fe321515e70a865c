#include "modbus/decoded_row.h"

#include "modbus/frame_check.h"
#include "modbus/function_names.h"

#include <cstdio>

namespace tessaly::modbus {
namespace {

constexpr int kCrcSize = 2;

// Where a frame's addressed fields sit: the table, first address and
// quantity, and the register or bit data (null for none).
struct Addressed {
  bool known = false;
  Table table = Table::kHoldingRegisters;
  std::uint16_t start = 0;
  int quantity = 0;
  const std::uint8_t* data = nullptr;
  int dataBytes = 0;
};

// A request's own addressed fields.
Addressed OfRequest(const std::uint8_t* bytes, int count) {
  Addressed fields;
  const int size = count - kCrcSize;
  // A mask write addresses one register but carries masks, not a quantity
  // or values: nothing to show.
  const auto table = bytes[1] == kMaskWriteRegister ? std::nullopt : TableOf(bytes[1]);
  if (!table || size < 6) return fields;
  fields.known = true;
  fields.table = *table;
  fields.start = Word(bytes, 2);
  switch (bytes[1]) {
    case kWriteSingleCoil:
    case kWriteSingleRegister:
      fields.quantity = 1;
      fields.data = bytes + 4;
      fields.dataBytes = 2;
      break;
    case kWriteMultipleCoils:
    case kWriteMultipleRegisters:
      fields.quantity = Word(bytes, 4);
      if (size >= 7 && bytes[6] == size - 7) {
        fields.data = bytes + 7;
        fields.dataBytes = bytes[6];
      }
      break;
    default:  // the reads, and 23 by what it reads
      fields.quantity = Word(bytes, 4);
      break;
  }
  return fields;
}

std::string Join(const std::string& a, const std::string& b) { return a.empty() ? b : a + ' ' + b; }

std::string ValuesOf(const Addressed& fields, std::uint8_t function, std::uint8_t unit,
                     const DecodingChoices& choices) {
  if (fields.data == nullptr) return {};
  std::string values;
  if (fields.table == Table::kCoils || fields.table == Table::kDiscreteInputs) {
    if (function == kWriteSingleCoil) return Word(fields.data, 0) == 0xFF00 ? "1" : "0";
    for (int i = 0; i < fields.quantity && i / 8 < fields.dataBytes; ++i) {
      values += (fields.data[i / 8] >> (i % 8) & 1) ? '1' : '0';
    }
    return values;
  }
  static const RegisterTypes kPlain;
  const auto own = choices.types.find(unit);
  const RegisterTypes& types = own == choices.types.end() ? kPlain : own->second;
  const int words = std::min(fields.quantity, fields.dataBytes / 2);
  for (int i = 0; i < words;) {
    const int address = fields.start + i;
    if (address > 0xFFFF) break;
    RegisterTypes::Reading reading = types.At(fields.table, static_cast<std::uint16_t>(address));
    int width = WordsOf(reading.type);
    // A wide value cut by the frame's first or last register reads as plain
    // registers.
    if (reading.valueStart != address || i + width > words) {
      reading = {};
      width = 1;
    }
    std::uint16_t word[4];
    for (int w = 0; w < width; ++w) word[w] = Word(fields.data, 2 * (i + w));
    values = Join(values, FormatAddress(fields.table, static_cast<std::uint16_t>(address), choices.notation) +
                              '=' + FormatValue(reading.type, reading.order, word));
    i += width;
  }
  return values;
}

}  // namespace

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

DecodedRow DecodeRow(const PacketSequence& log, int index, const DecodingChoices& choices) {
  DecodedRow row;
  const LoggedPacket packet = log.At(index);
  row.crc = FrameKindName(CheckFrame(packet.bytes, packet.count));
  const FrameSummary self = SummaryAt(log, index);
  if (!self.good) return row;
  row.unit = std::to_string(self.unit);
  row.function = std::to_string(self.function);
  row.direction = self.direction == Direction::Request    ? "Request"
                  : self.direction == Direction::Response ? "Response"
                                                          : "";
  if (self.exception && packet.count > 2 + kCrcSize) {
    const char* meaning = ExceptionMeaning(packet.bytes[2]);
    row.exception = std::to_string(packet.bytes[2]) + (meaning ? std::string(" ") + meaning : "");
  }

  const Pairing pairing = PairingOf(log, index, choices.timing);
  if (pairing.kind == Pairing::kAnsweredBy || pairing.kind == Pairing::kAnswers) {
    row.pairedRow = std::to_string(pairing.row + 1);
    if (pairing.turnaround) {
      char text[32];
      std::snprintf(text, sizeof text, "%.1f", static_cast<double>(*pairing.turnaround) / 1000.0);
      row.turnaround = text;
    }
  }

  Addressed fields;
  if (self.direction == Direction::Request) {
    fields = OfRequest(packet.bytes, packet.count);
  } else if (pairing.kind == Pairing::kAnswers && !self.exception) {
    const LoggedPacket request = log.At(pairing.row);
    fields = OfRequest(request.bytes, request.count);
    // A read answer's data follow its byte count; a write's echo carries
    // its own (single) or none (multiple).
    const bool reads = self.function == kReadCoils || self.function == kReadDiscreteInputs ||
                       self.function == kReadHoldingRegisters || self.function == kReadInputRegisters ||
                       self.function == kReadWriteMultipleRegisters;
    if (reads && packet.count - kCrcSize >= 3 && packet.bytes[2] == packet.count - kCrcSize - 3) {
      fields.data = packet.bytes + 3;
      fields.dataBytes = packet.bytes[2];
    } else if (!reads) {
      fields = OfRequest(packet.bytes, packet.count);
      if (self.function == kWriteMultipleCoils || self.function == kWriteMultipleRegisters) fields.data = nullptr;
    }
  }
  if (fields.known) {
    row.startAddress = FormatAddress(fields.table, fields.start, choices.notation);
    row.quantity = std::to_string(fields.quantity);
    row.values = ValuesOf(fields, self.function, self.unit, choices);
  }
  return row;
}

}  // namespace tessaly::modbus
