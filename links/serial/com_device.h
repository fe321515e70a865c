#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "links/line_recorder.h"
#include "links/serial/com_types.h"

namespace tessaly {

// What the port asks of the device for its line. The port fills it from its
// settings; the platform back end maps what it can and documents the rest.
struct TLineSettings {
  std::int32_t bitsPerSecond = 9600;
  TDataBits dataBits = dbEight;
  TParityBits parity = prNone;
  TStopBits stopBits = sbOneStopBit;
  bool parityCheck = false;
  bool parityReplace = false;
  std::uint8_t parityReplaceChar = 0;
  bool outCtsFlow = false;
  bool outDsrFlow = false;
  TDTRFlowControl controlDtr = dtrDisable;
  TRTSFlowControl controlRts = rtsDisable;
  bool xonXoffOut = false;
  bool xonXoffIn = false;
  bool dsrSensitivity = false;
  bool txContinueOnXoff = false;
  std::uint8_t xonChar = 17;
  std::uint8_t xoffChar = 19;
  bool discardNull = false;
  std::uint8_t eventChar = 0;
};

// When a read ends, in milliseconds (see TComDevice::Read).
struct TReadTimeouts {
  std::int32_t readInterval = -1;
  std::int32_t readTotalMultiplier = 0;
  std::int32_t readTotalConstant = 0;
};

struct TLineSignals {
  bool cts = false;
  bool dsr = false;
  bool ring = false;
  bool rlsd = false;
};

// When the bytes of a read came in, on the monotonic clock: the first of
// them, and the moment after which the line counted as quiet (the end of the
// silence that ended the read, or its last byte when it ended by count or
// total time).
struct TReadArrival {
  std::chrono::steady_clock::time_point first;
  std::chrono::steady_clock::time_point last;
  std::chrono::steady_clock::time_point lastByte;
};

// One opened serial device, as the platform offers it. Every failure is an
// EComPort with the platform's error number. Every operation runs on the
// thread that opened it (the user-interface thread).
//
// While open, a recorder reads the device on a thread of its own the moment
// bytes come and keeps each burst with that moment; Read then applies the
// read timeouts to those moments. So a read that begins late still ends
// where the line fell silent, and tells when its bytes came.
class TComDevice {
 public:
  TComDevice();
  ~TComDevice();
  TComDevice(const TComDevice&) = delete;
  TComDevice& operator=(const TComDevice&) = delete;

  // Opens exclusively: a device another program holds (by lock or by the
  // exclusive-use flag, root or not) fails with code 1 and EBUSY; the
  // pseudo-terminal multiplexer, which is no port, with ENOTTY.
  void Open(const std::string& path);
  // Puts back the line settings and low-latency flag the device had when
  // Open found it, then closes.
  void Close() noexcept;
  // Stops reading for good: the bytes the device still holds are read at
  // once, and every byte kept can still be read; then reads return 0.
  void FinishReading();
  bool IsOpen() const { return handle_ >= 0; }
  // Takes over a descriptor opened elsewhere, such as one end of a socket
  // pair standing in for a line in a test: no exclusivity is asked for.
  // Code 1 when its recorder cannot be started (the descriptor is then
  // closed).
  void Adopt(int handle);

  // Cut the line into packets on the reading thread by these rules, from
  // the next opening on (none: keep the bytes as they came, for Read); an
  // open device takes new rules at once. A device that cuts delivers packets
  // only (TakePacket), and Read gives nothing.
  void SetPacketCutting(const std::optional<PacketCutter::Rules>& rules);
  // The oldest packet cut and not taken yet; nothing when none waits.
  std::optional<LineRecorder::Packet> TakePacket(std::uint8_t* place) {
    return recorder_ != nullptr ? recorder_->TakePacket(place) : std::nullopt;
  }
  // Every packet not taken yet, and every one to come, begins at or after
  // this moment; nothing while closed or not cutting.
  std::optional<std::chrono::steady_clock::time_point> CompleteUntil() const {
    if (recorder_ == nullptr || !recorder_->CutsPackets()) return std::nullopt;
    return recorder_->CompleteUntil();
  }

  void SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize);  // code 9
  void SetLine(const TLineSettings& settings);                          // code 7
  void SetTimeouts(const TReadTimeouts& timeouts);                      // code 8

  // Reads up to count bytes under the timeouts last set: ends when count
  // bytes are in, when more than readInterval ms (if above 0) pass without a
  // further byte after at least one, or readTotalMultiplier * count +
  // readTotalConstant ms (if above 0) after it began. readInterval -1 with
  // both totals 0 returns at once with what is queued. Silences are those
  // of the line, as the recorder saw the bytes come. Code 3.
  int Read(void* buffer, int count);
  // The arrival of the last read that delivered bytes.
  TReadArrival LastReadArrival() const { return lastArrival_; }

  int PendingInput() const;                // bytes queued for reading; code 10
  TComErrors TakeLineErrors();             // line errors since the last call; code 10
  TLineSignals LineSignals() const;        // code 11
  void AbortPending();                     // code 5
  void DiscardQueues() noexcept;           // drops queued input and output

  // The recorder's ready descriptor, readable while it keeps bytes or once
  // the device has ended; -1 while closed.
  int ReadyHandle() const { return recorder_ != nullptr ? recorder_->ReadyHandle() : -1; }
  // Bytes the recorder keeps, not yet read here.
  int KeptInput() const { return recorder_ != nullptr ? recorder_->Kept() : 0; }
  // When the oldest of them came; nothing when none is kept.
  std::optional<std::chrono::steady_clock::time_point> NextArrival() const {
    return recorder_ != nullptr ? recorder_->NextArrival() : std::nullopt;
  }
  // Bytes read from the line over every opening of this device object:
  // what reached the program, for measuring what reaches the log.
  std::uint64_t BytesFromLine() const { return bytesFromLine_ + (recorder_ != nullptr ? recorder_->TotalRead() : 0); }
  // How the device ended (hung up, failed), once it has.
  std::optional<int> EndError() const { return recorder_ != nullptr ? recorder_->EndError() : std::nullopt; }

 private:
  // What the device had when Open found it, to be put back at Close (the
  // kernel's termios2, whose header cannot be included everywhere).
  struct FoundSettings;

  void StartRecorder();
  void SaveFoundSettings();
  void RestoreFoundSettings() noexcept;

  int handle_ = -1;
  std::unique_ptr<FoundSettings> found_;
  TReadTimeouts timeouts_;
  TReadArrival lastArrival_{};
  std::unique_ptr<LineRecorder> recorder_;
  std::optional<PacketCutter::Rules> cutRules_;
  std::uint64_t bytesFromLine_ = 0;  // of the openings closed so far
};

}  // namespace tessaly
