#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tessaly::traffic {

using Frame = std::vector<std::uint8_t>;

// The Modbus RTU check: CRC-16 with polynomial 0xA001 reflected, start value
// 0xFFFF, sent low byte first.
std::uint16_t ModbusCrc(const std::uint8_t* bytes, std::size_t count);

// Appends the CRC to a frame body.
Frame WithCrc(Frame body);

// "Read holding registers" (function 3): the master's request for
// registerCount registers from firstRegister, and the slave's answer with
// the given register values.
Frame ReadRequest(std::uint8_t slave, std::uint16_t firstRegister, std::uint16_t registerCount);
Frame ReadResponse(std::uint8_t slave, const std::vector<std::uint16_t>& registers);

// A frame of exactly totalSize bytes (at least 4): slave, function 3, a
// running byte pattern, CRC. sequence varies the pattern from frame to frame.
Frame SizedFrame(std::uint8_t slave, std::size_t totalSize, std::uint32_t sequence);

// The frames of a polling master and its slave: request, answer, request, ...
// frameSize 0 gives that conversation; any other size gives SizedFrame()s.
Frame NthFrame(std::uint8_t slave, std::size_t frameSize, std::uint32_t index);

// A unit's answer with exception code to a function.
Frame ExceptionResponse(std::uint8_t slave, std::uint8_t function, std::uint8_t code);

// A master polling several units in turn. Each cycle reads the slave's
// registers, then asks the absent unit (whose answer slot stays silent),
// then the refusing unit (which answers with exception 2). With floats, the
// slave's registers 0 and 1 hold a 32-bit float, high word first, that
// steps through 230.0, 230.5, ... 234.5 from cycle to cycle.
struct PollPlan {
  std::uint8_t slave = 1;
  std::optional<std::uint8_t> absent;
  std::optional<std::uint8_t> refusing;
  bool floats = false;
};
// The frame of slot index of the plan; nothing for a silent slot.
std::optional<Frame> PlannedFrame(const PollPlan& plan, std::uint32_t index);

}  // namespace tessaly::traffic
