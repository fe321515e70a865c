#include "modbus/frame_decoder.h"

#include "modbus/address_notation.h"
#include "modbus/function_names.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace tessaly::modbus {
namespace {

std::string Number(long value) { return std::to_string(value); }

std::string Hex8(std::uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::string NamedCode(long code, const char* name) {
  return name != nullptr ? Number(code) + " " + name : Number(code) + " (not defined)";
}

std::string RegisterValue(std::uint16_t value) {
  return Number(value) + "  signed " + Number(static_cast<std::int16_t>(value)) + "  hex " +
         Hex16(value);
}

class Decoder {
 public:
  Decoder(const std::uint8_t* bytes, int count, Direction direction, const std::uint8_t* request,
          int requestCount, AddressNotation notation)
      : b_(bytes),
        length_(count - 2),
        direction_(direction),
        request_(request),
        requestLength_(request != nullptr ? requestCount - 2 : 0),
        notation_(notation),
        table_(TableOf(bytes[1] & 0x7F)) {}

  std::vector<DetailLine> Run() {
    const std::uint8_t function = b_[1] & 0x7F;
    const bool exception = (b_[1] & kExceptionBit) != 0;
    Add("Unit", b_[0] == 0 ? "0 (broadcast)" : Number(b_[0]));
    std::string functionText = NamedCode(function, FunctionName(function));
    if (exception) functionText = Hex8(b_[1]) + ": exception to " + functionText;
    Add("Function", functionText);
    Add("Direction", direction_ == Direction::Request    ? "Request"
                     : direction_ == Direction::Response ? "Response"
                                                         : "Not known (fits no layout)");
    if (exception) {
      if (length_ == 3) {
        Add("Exception code", NamedCode(b_[2], ExceptionMeaning(b_[2])));
      } else {
        Raw(2);
      }
      return std::move(lines_);
    }
    const LayoutFit fit = FitLayout(b_, length_ + 2);
    const bool request = direction_ == Direction::Request && fit.request;
    const bool response = direction_ == Direction::Response && fit.response;
    if (!request && !response) {
      Raw(2);
      return std::move(lines_);
    }
    switch (function) {
      case kReadCoils:
      case kReadDiscreteInputs:
        if (request) {
          AddressAndQuantity(2, "Starting address", "Quantity");
        } else {
          Add("Byte count", Number(b_[2]));
          Bits(3, b_[2], RequestedStart(2), RequestedQuantity(4));
        }
        break;
      case kReadHoldingRegisters:
      case kReadInputRegisters:
        if (request) {
          AddressAndQuantity(2, "Starting address", "Quantity");
        } else {
          Add("Byte count", Number(b_[2]));
          Registers(3, b_[2] / 2, RequestedStart(2));
        }
        break;
      case kWriteSingleCoil: {
        Add("Coil address", AddressText(Word(b_, 2)));
        const std::uint16_t value = Word(b_, 4);
        Add("Value", value == 0xFF00   ? "ON (0xFF00)"
                     : value == 0x0000 ? "OFF (0x0000)"
                                       : Hex16(value) + " (not a valid coil value)");
        break;
      }
      case kWriteSingleRegister:
        Add("Register address", AddressText(Word(b_, 2)));
        Add("Value", RegisterValue(Word(b_, 4)));
        break;
      case kDiagnostics:
        Add("Sub-function", NamedCode(Word(b_, 2), DiagnosticsName(Word(b_, 2))));
        for (int at = 4; at + 1 < length_; at += 2) Add("Data", RegisterValue(Word(b_, at)));
        break;
      case kWriteMultipleCoils:
        AddressAndQuantity(2, "Starting address", "Quantity");
        if (request) {
          Add("Byte count", Number(b_[6]));
          Bits(7, b_[6], Word(b_, 2), Word(b_, 4));
        }
        break;
      case kWriteMultipleRegisters:
        AddressAndQuantity(2, "Starting address", "Quantity");
        if (request) {
          Add("Byte count", Number(b_[6]));
          Registers(7, b_[6] / 2, Word(b_, 2));
        }
        break;
      case kReportServerId:
        if (response) {
          Add("Byte count", Number(b_[2]));
          Text("Server data", 3, b_[2]);
          // The run indicator closes the device-specific server ID.
          if (b_[2] > 0) {
            const std::uint8_t run = b_[3 + b_[2] - 1];
            Add("Run indicator (last byte)", run == 0xFF   ? "ON (0xFF)"
                                             : run == 0x00 ? "OFF (0x00)"
                                                           : Hex8(run) + " (not ON or OFF)");
          }
        }
        break;
      case kMaskWriteRegister:
        Add("Register address", AddressText(Word(b_, 2)));
        Add("AND mask", Hex16(Word(b_, 4)) + "  " + Binary(Word(b_, 4)));
        Add("OR mask", Hex16(Word(b_, 6)) + "  " + Binary(Word(b_, 6)));
        break;
      case kReadWriteMultipleRegisters:
        if (request) {
          AddressAndQuantity(2, "Read starting address", "Read quantity");
          AddressAndQuantity(6, "Write starting address", "Write quantity");
          Add("Byte count", Number(b_[10]));
          Registers(11, b_[10] / 2, Word(b_, 6));
        } else {
          Add("Byte count", Number(b_[2]));
          Registers(3, b_[2] / 2, RequestedStart(2));
        }
        break;
      case kEncapsulatedInterface:
        DeviceIdentification(request);
        break;
      default:
        Raw(2);
    }
    return std::move(lines_);
  }

 private:
  void Add(std::string label, std::string value) {
    lines_.push_back({std::move(label), std::move(value)});
  }

  // An address in the chosen notation (as sent, 0-based, by default), with
  // the frame's own number in hex.
  std::string Address(long address) const {
    const auto wire = static_cast<std::uint16_t>(address & 0xFFFF);
    if (!table_ || notation_ == AddressNotation::kZeroBased) return Number(wire);
    return FormatAddress(*table_, wire, notation_);
  }
  std::string AddressText(std::uint16_t address) const { return Address(address) + " (" + Hex16(address) + ")"; }

  void AddressAndQuantity(int at, const char* addressLabel, const char* quantityLabel) {
    Add(addressLabel, AddressText(Word(b_, at)));
    Add(quantityLabel, Number(Word(b_, at + 2)));
  }

  // The request's field at offset, or -1 without a request that holds it.
  long RequestedStart(int at) const { return at + 2 <= requestLength_ ? Word(request_, at) : -1; }
  long RequestedQuantity(int at) const {
    return at + 2 <= requestLength_ ? Word(request_, at) : -1;
  }

  // Registers from offset at; labelled by address from start, or by their
  // place in the frame when start is not known.
  void Registers(int at, int count, long start) {
    for (int i = 0; i < count; ++i) {
      const std::string label = start >= 0 ? "Register " + Address(start + i)
                                           : "Register #" + Number(i + 1);
      Add(label, RegisterValue(Word(b_, at + 2 * i)));
    }
  }

  // Bits from offset at, eight to a line, lowest address first; padding bits
  // beyond a known quantity are left out.
  void Bits(int at, int byteCount, long start, long quantity) {
    const long bits = quantity >= 0 && quantity <= 8L * byteCount ? quantity : 8L * byteCount;
    for (long first = 0; first < bits; first += 8) {
      const long last = std::min(bits, first + 8) - 1;
      std::string value;
      for (long bit = first; bit <= last; ++bit) {
        if (!value.empty()) value += ' ';
        value += ((b_[at + bit / 8] >> (bit % 8)) & 1) != 0 ? '1' : '0';
      }
      const std::string label =
          start >= 0 ? "Bits " + Address(start + first) + ".." + Address(start + last)
                     : "Bits #" + Number(first + 1) + "..#" + Number(last + 1);
      Add(label, value);
    }
  }

  static std::string Binary(std::uint16_t value) {
    std::string text;
    for (int bit = 15; bit >= 0; --bit) {
      text += ((value >> bit) & 1) != 0 ? '1' : '0';
      if (bit % 4 == 0 && bit > 0) text += ' ';
    }
    return text;
  }

  // Bytes as hex, and as text when they are all printable.
  void Text(const char* label, int at, int count) {
    Add(label, HexBytes(b_ + at, count));
    std::string text;
    for (int i = 0; i < count; ++i) {
      const std::uint8_t byte = b_[at + i];
      if (byte < 0x20 || byte > 0x7E) return;
      text += static_cast<char>(byte);
    }
    if (!text.empty()) Add("As text", "\"" + text + "\"");
  }

  void Raw(int at) {
    Add("Data (raw)", length_ > at ? HexBytes(b_ + at, length_ - at) : "none");
  }

  void DeviceIdentification(bool request) {
    Add("MEI type", "14 Read Device Identification");
    static const char* const kCodes[] = {nullptr, "basic", "regular", "extended", "one object"};
    const std::uint8_t code = b_[3];
    Add("Read device ID code",
        Number(code) + (code >= 1 && code <= 4 ? std::string(" (") + kCodes[code] + ")" : ""));
    if (request) {
      Add("Object ID", NamedCode(b_[4], DeviceObjectName(b_[4])));
      return;
    }
    Add("Conformity level", Hex8(b_[4]));
    Add("More follows", b_[5] == 0xFF ? "yes (0xFF)" : b_[5] == 0 ? "no (0x00)" : Hex8(b_[5]));
    Add("Next object ID", Number(b_[6]));
    Add("Number of objects", Number(b_[7]));
    int at = 8;
    for (int object = 0; object < b_[7]; ++object) {
      const std::uint8_t id = b_[at];
      const int size = b_[at + 1];
      const char* name = DeviceObjectName(id);
      std::string value(reinterpret_cast<const char*>(b_ + at + 2), static_cast<std::size_t>(size));
      for (char& c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '.';
      }
      Add("Object " + Number(id) + (name != nullptr ? std::string(" ") + name : std::string()),
          "\"" + value + "\"");
      at += 2 + size;
    }
  }

  const std::uint8_t* b_;
  int length_;
  Direction direction_;
  const std::uint8_t* request_;
  int requestLength_;
  AddressNotation notation_;
  std::optional<Table> table_;
  std::vector<DetailLine> lines_;
};

}  // namespace

std::string Hex16(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

std::string HexBytes(const std::uint8_t* bytes, int count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(static_cast<std::size_t>(count) * 3);
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::vector<DetailLine> DecodeFrame(const std::uint8_t* bytes, int count, Direction direction,
                                    const std::uint8_t* request, int requestCount,
                                    AddressNotation notation) {
  if (count < 4) return {};
  return Decoder(bytes, count, direction, request, requestCount, notation).Run();
}

}  // namespace tessaly::modbus
