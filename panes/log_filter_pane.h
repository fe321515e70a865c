#pragma once

#include "modbus/row_filter.h"

#include <QDockWidget>

#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessaly {

class LogFilterModel;
class UniformRowTableView;
class PacketLogModel;

// A pane that lists only the log rows of one unit, one function, the bad
// frames, the unanswered requests, the exceptions, or the rows holding a
// byte sequence, and finds a byte sequence in
// the log. Choosing a listed row makes it the log's current row. The log
// and what is saved of it stay as they are.
class LogFilterPane : public QDockWidget {
  Q_OBJECT

 public:
  explicit LogFilterPane(const PacketLogModel& log, QWidget* parent = nullptr);

  LogFilterModel& Model() { return *model_; }
  QLineEdit* UnitField() const { return unit_; }
  QLineEdit* FunctionField() const { return function_; }
  QCheckBox* BadFramesBox() const { return badFrames_; }
  QCheckBox* NoAnswerBox() const { return noAnswer_; }
  QCheckBox* ExceptionsBox() const { return exceptions_; }
  QLineEdit* BytesField() const { return bytes_; }
  QLineEdit* FindField() const { return find_; }
  // What the last filter or find said; how many rows are shown.
  QString Status() const;
  QString Count() const;

  // Reads the fields into a filter and applies it; a field that cannot be
  // read is named in the pane's status line and nothing changes.
  bool ApplyFilter();
  void ShowAll();
  // Stops a filter still looking through the log: every row is shown.
  void StopFilter();
  // Lists the rows of one unit and function, all of them or those of one
  // quick filter.
  enum class QuickFilter { kNone, kBadFrames, kNoAnswer, kExceptions };
  void ShowRowsOf(std::uint8_t unit, std::uint8_t function, QuickFilter kind);
  // Lists every bad frame, whatever unit its first byte names.
  void ShowBadFrames();

  // The byte sequence of the find field, or nothing (with the reason in the
  // status line).
  std::optional<std::vector<std::uint8_t>> FindSequence();
  void SetStatus(const QString& text);
  void FocusFind();

 signals:
  // The user chose a listed row: the log's row.
  void rowChosen(int logRow);
  void findRequested(bool forward);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowCount();

  const PacketLogModel& log_;
  LogFilterModel* model_;
  QLineEdit* unit_;
  QLineEdit* function_;
  QCheckBox* badFrames_;
  QCheckBox* noAnswer_;
  QCheckBox* exceptions_;
  QLineEdit* bytes_;
  QLineEdit* find_;
  QLabel* status_;
  QLabel* count_;
  QPushButton* stop_;  // shown while a filter looks through a long log
  UniformRowTableView* table_;
  bool fieldsFinished_ = false;  // see showEvent
};

}  // namespace tessaly
