#include "modbus/frame_layout.h"

#include "modbus/crc16.h"
#include "modbus/frame_check.h"
#include "modbus/function_names.h"

#include <algorithm>

namespace tessaly::modbus {
namespace {

// A byte count at offset that covers exactly the rest of the frame.
bool CountsRest(const std::uint8_t* bytes, int length, int offset) {
  return length > offset && bytes[offset] == length - offset - 1;
}

// The objects of a device identification answer, from offset 8 on, end
// exactly where the frame does.
bool DeviceObjectsFit(const std::uint8_t* bytes, int length) {
  int at = 8;
  for (int object = 0; object < bytes[7]; ++object) {
    if (at + 2 > length) return false;
    at += 2 + bytes[at + 1];
  }
  return at == length;
}

// Whether a frame that fits both layouts can be the answer to the request
// before it. A single write and a mask write are answered by their own
// echo, so a different frame of that function is a new request (a retry of
// an unanswered write looks like its echo, and is taken for one);
// diagnostics answer with the same sub-function.
bool Echoes(const FrameSummary& request, const std::uint8_t* bytes, int count) {
  switch (bytes[1]) {
    case kWriteSingleCoil:
    case kWriteSingleRegister:
    case kMaskWriteRegister:
      return request.count == count && std::equal(bytes, bytes + count, request.bytes);
    case kDiagnostics:
      return request.count >= 4 && Word(request.bytes, 2) == Word(bytes, 2);
    default:
      return true;
  }
}

}  // namespace

LayoutFit FitLayout(const std::uint8_t* bytes, int count) {
  if (count < kMinFrameSize) return {};
  const int length = count - 2;  // without the CRC
  const std::uint8_t function = bytes[1];
  if ((function & kExceptionBit) != 0) return {false, length == 3};
  switch (function) {
    case kReadCoils:
    case kReadDiscreteInputs:
      return {length == 6, CountsRest(bytes, length, 2) && bytes[2] > 0};
    case kReadHoldingRegisters:
    case kReadInputRegisters:
      return {length == 6, CountsRest(bytes, length, 2) && bytes[2] > 0 && bytes[2] % 2 == 0};
    case kWriteSingleCoil:
    case kWriteSingleRegister:
      return {length == 6, length == 6};
    case kDiagnostics: {
      const bool fits = length >= 4 && length % 2 == 0;
      return {fits, fits};
    }
    case kWriteMultipleCoils: {
      const bool request = length >= 7 && CountsRest(bytes, length, 6) &&
                           bytes[6] == (Word(bytes, 4) + 7) / 8;
      return {request, length == 6};
    }
    case kWriteMultipleRegisters: {
      const bool request = length >= 7 && CountsRest(bytes, length, 6) &&
                           bytes[6] == 2 * Word(bytes, 4);
      return {request, length == 6};
    }
    case kReportServerId:
      return {length == 2, CountsRest(bytes, length, 2)};
    case kMaskWriteRegister:
      return {length == 8, length == 8};
    case kReadWriteMultipleRegisters: {
      const bool request = length >= 11 && CountsRest(bytes, length, 10) &&
                           bytes[10] == 2 * Word(bytes, 8);
      const bool response = CountsRest(bytes, length, 2) && bytes[2] % 2 == 0;
      return {request, response};
    }
    case kEncapsulatedInterface:
      if (length < 3 || bytes[2] != kReadDeviceIdentification) return {};
      return {length == 5, length >= 8 && DeviceObjectsFit(bytes, length)};
    default:
      return {};
  }
}

bool DirectionNeedsContext(const std::uint8_t* bytes, int count) {
  if (count < kMinFrameSize || Crc16(bytes, static_cast<std::size_t>(count)) != 0) return false;
  const LayoutFit fit = FitLayout(bytes, count);
  return fit.request && fit.response;
}

FrameSummary Summarize(const std::uint8_t* bytes, int count, const FrameSummary* previous) {
  FrameSummary summary;
  summary.bytes = bytes;
  summary.count = count;
  if (count < kMinFrameSize || Crc16(bytes, static_cast<std::size_t>(count)) != 0) return summary;
  summary.good = true;
  summary.unit = bytes[0];
  summary.function = static_cast<std::uint8_t>(bytes[1] & 0x7F);
  summary.exception = (bytes[1] & kExceptionBit) != 0;
  const LayoutFit fit = FitLayout(bytes, count);
  if (fit.request && fit.response) {
    const bool answers = previous != nullptr && previous->good &&
                         previous->direction == Direction::Request &&
                         previous->unit == summary.unit &&
                         previous->function == summary.function && Echoes(*previous, bytes, count);
    summary.direction = answers ? Direction::Response : Direction::Request;
  } else if (fit.request) {
    summary.direction = Direction::Request;
  } else if (fit.response) {
    summary.direction = Direction::Response;
  }
  return summary;
}

}  // namespace tessaly::modbus
