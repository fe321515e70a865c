#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "links/serial/com_device.h"
#include "links/serial/com_error.h"
#include "links/serial/com_records.h"
#include "links/serial/com_types.h"

namespace tessaly {

class TComEventWatch;
class TCustomComPort;
class TRegistry;

using TNotifyEvent = std::function<void(TCustomComPort& sender)>;
using TRxCharEvent = std::function<void(TCustomComPort& sender, int count)>;
using TComSignalEvent = std::function<void(TCustomComPort& sender, bool onOff)>;
using TComErrorEvent = std::function<void(TCustomComPort& sender, TComErrors errors)>;
using TLinkLostEvent = std::function<void(TCustomComPort& sender, const QString& message)>;

// A serial port: its settings, opening and closing with the line
// configuration, the received-characters event on the user-interface
// thread, and reading under the read timeouts. Lives on the user-interface
// thread, where every operation and handler runs; the device's recorder
// thread reads the line and keeps each burst with its moment, and the event
// loop wakes for it. Every failure is an EComPort. The object name names the
// port's subkey in the settings store.
class TCustomComPort : public QObject {
  Q_OBJECT

 public:
  explicit TCustomComPort(QObject* parent = nullptr);
  ~TCustomComPort() override;  // closes the port first
  TCustomComPort(const TCustomComPort&) = delete;
  TCustomComPort& operator=(const TCustomComPort&) = delete;

  // --- Settings. Those of the line re-apply to an open port when changed.
  const QString& Port() const { return port_; }
  void SetPort(const QString& name);  // a different name reopens an open port
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate rate);
  std::int32_t CustomBaudRate() const { return customBaudRate_; }  // bits per second for brCustom
  void SetCustomBaudRate(std::int32_t bitsPerSecond);
  // The line speed in bits per second: the custom rate for brCustom.
  std::int32_t LineBitsPerSecond() const;
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits bits);
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits bits);
  // How the port's line is cut into packets: at every silence longer than
  // the end-of-packet interval (the Modbus rule), rather than by the read
  // grouping. Kept and restored with the basic values, under the value
  // kCutAtSilencesValue; off unless chosen.
  static constexpr const char* kCutAtSilencesValue = "CutAtSilences";
  bool CutAtSilences() const { return cutAtSilences_; }
  void SetCutAtSilences(bool on) { cutAtSilences_ = on; }
  bool DiscardNull() const { return discardNull_; }
  void SetDiscardNull(bool discard);
  std::uint8_t EventChar() const { return eventChar_; }
  void SetEventChar(std::uint8_t character);
  TComParity& Parity() { return parity_; }
  const TComParity& Parity() const { return parity_; }
  TComFlowControl& FlowControl() { return flowControl_; }
  const TComFlowControl& FlowControl() const { return flowControl_; }
  TComTimeouts& Timeouts() { return timeouts_; }
  const TComTimeouts& Timeouts() const { return timeouts_; }
  TComBuffer& Buffer() { return buffer_; }
  const TComBuffer& Buffer() const { return buffer_; }
  // The line events handled; used from the next opening.
  TComEvents Events() const { return events_; }
  void SetEvents(TComEvents events) { events_ = events; }
  TStoredGroups StoredGroups() const { return storedGroups_; }
  void SetStoredGroups(TStoredGroups groups) { storedGroups_ = groups; }

  // --- Opening and closing.
  bool Connected() const { return connected_; }
  void SetConnected(bool connected);  // opens or closes
  void Open();                        // nothing if open
  // Nothing if closed. Bytes read from the line before Close and not yet
  // handled still reach OnRxChar first, as at any arrival; then the port
  // closes and its device gets back the settings it had before.
  void Close();

  // --- Input.
  // Reads up to count bytes into buffer under the read timeouts; returns the
  // number read (0 to count).
  int Read(void* buffer, int count);
  // When the bytes of the last read that delivered any came in on the line.
  TReadArrival LastReadArrival() const { return device_.LastReadArrival(); }
  int PendingInputCount() const;
  // When the oldest byte read from the line and not yet read here came.
  std::optional<std::chrono::steady_clock::time_point> NextArrival() const { return device_.NextArrival(); }
  // Cut the line into packets on its reading thread (see TComDevice); an
  // OnRxChar handler then takes them with TakePacket.
  void SetPacketCutting(const std::optional<PacketCutter::Rules>& rules) { device_.SetPacketCutting(rules); }
  std::optional<LineRecorder::Packet> TakePacket(std::uint8_t* place);
  std::optional<std::chrono::steady_clock::time_point> CompleteUntil() const { return device_.CompleteUntil(); }
  // Bytes read from the line since the port object was made.
  std::uint64_t BytesFromLine() const { return device_.BytesFromLine(); }

  // --- Settings store. Location: "<root>\<path>"; the values go to the
  // subkey named after this object. Only the basic group is stored.
  void SaveSettings(TStoreType type, const QString& location);
  void RestoreSettings(TStoreType type, const QString& location);
  void SetStoreDirectory(std::filesystem::path directory) { storeDirectory_ = std::move(directory); }

  // --- Update hold: while raised, changed settings are not applied;
  // lowering it to zero re-applies the whole configuration to an open port.
  void SuspendApply() { ++updateHold_; }
  void ResumeApply();

  // Re-apply one part of the configuration, if open and not held.
  void ApplyLineSettings();
  void ApplyTimeouts();
  void ApplyQueueSizes();

  // --- Events, run on the user-interface thread.
  TRxCharEvent OnRxChar;
  TNotifyEvent OnTxEmpty;
  TNotifyEvent OnRxFlag;
  TNotifyEvent OnRing;
  TNotifyEvent OnBreak;
  TComSignalEvent OnCTSChange;
  TComSignalEvent OnDSRChange;
  TComErrorEvent OnError;
  TComSignalEvent OnRLSDChange;
  TNotifyEvent OnRx80Full;
  TNotifyEvent OnBeforeOpen;
  TNotifyEvent OnAfterOpen;
  TNotifyEvent OnBeforeClose;
  TNotifyEvent OnAfterClose;
  // Once per opening, when the device went away (after every byte read
  // before has reached OnRxChar) or a failure escaped a dispatch (message:
  // that failure's). The port still counts as open; no further events come
  // until it is closed and opened again.
  TLinkLostEvent OnLinkLost;

 private:
  void RestoreCutAtSilences(const TRegistry& registry);
  bool CanApply() const { return connected_ && updateHold_ == 0; }
  void ApplyAll();
  TLineSettings LineSettings() const;
  void StartEventWatch();
  void StopEventWatch();
  // Hands the bytes still kept to OnRxChar before the port closes.
  void DeliverLastBytes();
  int DispatchEvents(TComEvents events);
  void ReportLinkLost(std::uint64_t opening, const QString& message);
  void RunSignalEvents(const TLineSignals& lines);
  std::filesystem::path StoreDirectory() const;

  QString port_ = QStringLiteral("COM1");
  TBaudRate baudRate_ = br9600;
  std::int32_t customBaudRate_ = 9600;
  TDataBits dataBits_ = dbEight;
  TStopBits stopBits_ = sbOneStopBit;
  bool discardNull_ = false;
  bool cutAtSilences_ = false;
  std::uint8_t eventChar_ = 0;
  TComParity parity_{*this};
  TComFlowControl flowControl_{*this};
  TComTimeouts timeouts_{*this};
  TComBuffer buffer_{*this};
  TComEvents events_ = kAllComEvents;
  TStoredGroups storedGroups_{sgBasic};
  std::optional<std::filesystem::path> storeDirectory_;

  bool connected_ = false;
  bool closing_ = false;
  int updateHold_ = 0;
  std::uint64_t bytesRead_ = 0;  // by Read, to tell whether a handler took input
  std::uint64_t opening_ = 0;  // counts openings, so a late notice of an earlier one is ignored
  TComDevice device_;
  std::unique_ptr<TComEventWatch> watch_;
};

// The port class this program instantiates.
class TComPort : public TCustomComPort {
  Q_OBJECT

 public:
  using TCustomComPort::TCustomComPort;
};

}  // namespace tessaly
