#pragma once

#include <QStyledItemDelegate>

#include <cstdint>
#include <functional>

namespace tessaly {

class PacketLogModel;

// Marks the data cells of packets that are not one good Modbus RTU frame
// (bad CRC, too short, frames merged): the cell is tinted and starts with a
// warning sign, so the mark reads without colour too; hovering the sign names
// what is wrong. Good frames are painted exactly as before. The cell's own
// painting is left to the delegate it wraps.
class FrameMarkDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  // inner paints the cells (a plain delegate when null); it stays owned by
  // whoever owns it now.
  FrameMarkDelegate(const PacketLogModel& log, QAbstractItemDelegate* inner, QObject* parent);

  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool Enabled() const { return enabled_; }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;

  // The tint behind a marked cell in a grid painted with palette.
  static QColor MarkColor(const QPalette& palette);

 private:
  // The kind's name for a row that is marked, or null.
  const char* MarkOf(int row) const;

  const PacketLogModel& log_;
  QAbstractItemDelegate* inner_;
  bool enabled_ = true;
};

}  // namespace tessaly
