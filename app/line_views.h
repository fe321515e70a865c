#pragma once

#include "modbus/decoded_row.h"

#include <QObject>

#include <cstdint>
#include <filesystem>
#include <functional>

class QAction;
class QDockWidget;
class QMainWindow;
class QMenu;

namespace tessaly {

class CaptureSession;
class FrameAnalysis;
class LineHealthPane;
class PacketLogView;
class RegisterPane;
class LineNameStrip;
class RowNumberStrip;
class PacketLogModel;

// The line at a glance, beside the log: row numbers beside the grid, what
// its time column shows, the line health and register panes, with their
// items in the "&View" menu, and the notation of register addresses. Whether each pane is shown, the notation, and the register
// types of each unit are remembered for the user.
class LineViews : public QObject {
  Q_OBJECT

 public:
  // The current user's value that remembers the line health pane (1 shown).
  static constexpr const char* kHealthShownValue = "ShowLineHealth";
  static constexpr const char* kRegistersShownValue = "ShowRegisters";
  static constexpr const char* kRowNumbersShownValue = "ShowRowNumbers";
  // 0-based, 1-based or with the table's digit (0, 1, 2).
  static constexpr const char* kNotationValue = "RegisterAddresses";
  // What the log's time column shows: 0 time of day, 1 since the previous
  // row, 2 since the log's first row.
  static constexpr const char* kTimeColumnValue = "TimeColumn";
  // The key under the program's key holding the types, one value per unit
  // ("Unit 17").
  static constexpr const char* kRegisterTypesKey = "Register types";

  LineViews(QMainWindow& window, PacketLogModel& log, PacketLogView& grid, FrameAnalysis& analysis,
            CaptureSession& session);

  LineHealthPane& Health() const { return *health_; }
  RegisterPane& Registers() const { return *registers_; }
  // How rows are decoded for a report, as the panes read them now.
  modbus::DecodingChoices Decoding() const;

  RowNumberStrip& RowNumbers() const { return *rowNumbers_; }
  LineNameStrip& LineNames() const { return *lineNames_; }

  QAction* miRowNumbers;
  QAction* miLineHealth;
  QAction* miRegisters;
  QAction* miAddressesZeroBased;
  QAction* miAddressesOneBased;
  QAction* miAddressesTableDigit;
  QAction* miTimeOfDay;
  QAction* miTimeSincePrevious;
  QAction* miTimeSinceStart;

 private:
  void BuildNotationMenu(QMenu& menu);
  void BuildTimeColumnMenu(QMenu& menu, PacketLogModel& log);
  // A current user's integer, or fallback when it is missing or unreadable.
  int RestoreInteger(const char* value, int fallback) const;
  void RememberInteger(const char* value, int number) const;
  void RestoreRegisterTypes();
  void RememberRegisterTypes(std::uint8_t unit) const;
  // A checkable item that shows the pane, tells it to follow the log while
  // shown, and remembers the choice in shownValue.
  QAction* AddPaneItem(QMenu& menu, QWidget& pane, const char* objectName, const char* caption,
                       const char* shownValue, std::function<void(bool)> follow);

  const PacketLogModel& log_;
  FrameAnalysis& analysis_;
  std::filesystem::path storeDirectory_;
  LineHealthPane* health_;
  RegisterPane* registers_;
  RowNumberStrip* rowNumbers_;
  LineNameStrip* lineNames_;
};

}  // namespace tessaly
