#pragma once

#include <cstdint>

namespace tessaly::modbus {

// The public function codes this decoder lays out field by field.
enum FunctionCode : std::uint8_t {
  kReadCoils = 1,
  kReadDiscreteInputs = 2,
  kReadHoldingRegisters = 3,
  kReadInputRegisters = 4,
  kWriteSingleCoil = 5,
  kWriteSingleRegister = 6,
  kDiagnostics = 8,
  kWriteMultipleCoils = 15,
  kWriteMultipleRegisters = 16,
  kReportServerId = 17,
  kMaskWriteRegister = 22,
  kReadWriteMultipleRegisters = 23,
  kEncapsulatedInterface = 43,
};

inline constexpr std::uint8_t kExceptionBit = 0x80;
inline constexpr std::uint8_t kReadDeviceIdentification = 14;  // MEI type under function 43

// The public name of a function code (without the exception bit), or null for
// a code the protocol leaves to vendors or does not define.
const char* FunctionName(std::uint8_t function);

// The meaning of an exception code, or null for an undefined one.
const char* ExceptionMeaning(std::uint8_t code);

// The name of a diagnostics sub-function, or null for a reserved one.
const char* DiagnosticsName(std::uint16_t subFunction);

// The name of a basic, regular or extended device identification object, or
// null for a vendor's private object.
const char* DeviceObjectName(std::uint8_t objectId);

}  // namespace tessaly::modbus
