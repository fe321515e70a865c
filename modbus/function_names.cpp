#include "modbus/function_names.h"

namespace tessaly::modbus {

const char* FunctionName(std::uint8_t function) {
  switch (function) {
    case 1: return "Read Coils";
    case 2: return "Read Discrete Inputs";
    case 3: return "Read Holding Registers";
    case 4: return "Read Input Registers";
    case 5: return "Write Single Coil";
    case 6: return "Write Single Register";
    case 7: return "Read Exception Status";
    case 8: return "Diagnostics";
    case 11: return "Get Comm Event Counter";
    case 12: return "Get Comm Event Log";
    case 15: return "Write Multiple Coils";
    case 16: return "Write Multiple Registers";
    case 17: return "Report Server ID";
    case 20: return "Read File Record";
    case 21: return "Write File Record";
    case 22: return "Mask Write Register";
    case 23: return "Read/Write Multiple Registers";
    case 24: return "Read FIFO Queue";
    case 43: return "Encapsulated Interface Transport";
    default: return nullptr;
  }
}

const char* ExceptionMeaning(std::uint8_t code) {
  switch (code) {
    case 1: return "Illegal function";
    case 2: return "Illegal data address";
    case 3: return "Illegal data value";
    case 4: return "Server device failure";
    case 5: return "Acknowledge (long operation under way)";
    case 6: return "Server device busy";
    case 8: return "Memory parity error";
    case 10: return "Gateway path unavailable";
    case 11: return "Gateway target device failed to respond";
    default: return nullptr;
  }
}

const char* DiagnosticsName(std::uint16_t subFunction) {
  switch (subFunction) {
    case 0: return "Return Query Data";
    case 1: return "Restart Communications Option";
    case 2: return "Return Diagnostic Register";
    case 3: return "Change ASCII Input Delimiter";
    case 4: return "Force Listen Only Mode";
    case 10: return "Clear Counters and Diagnostic Register";
    case 11: return "Return Bus Message Count";
    case 12: return "Return Bus Communication Error Count";
    case 13: return "Return Bus Exception Error Count";
    case 14: return "Return Server Message Count";
    case 15: return "Return Server No Response Count";
    case 16: return "Return Server NAK Count";
    case 17: return "Return Server Busy Count";
    case 18: return "Return Bus Character Overrun Count";
    case 20: return "Clear Overrun Counter and Flag";
    default: return nullptr;
  }
}

const char* DeviceObjectName(std::uint8_t objectId) {
  switch (objectId) {
    case 0: return "VendorName";
    case 1: return "ProductCode";
    case 2: return "MajorMinorRevision";
    case 3: return "VendorUrl";
    case 4: return "ProductName";
    case 5: return "ModelName";
    case 6: return "UserApplicationName";
    default: return nullptr;
  }
}

}  // namespace tessaly::modbus
