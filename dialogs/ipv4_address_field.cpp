#include "dialogs/ipv4_address_field.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include <algorithm>

namespace tessaly {
namespace {

// 0 to 255 without leading zeros, or nothing yet.
const QRegularExpression& OctetPattern() {
  static const QRegularExpression pattern(QStringLiteral("^(25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)?$"));
  return pattern;
}

}  // namespace

Ipv4AddressField::Ipv4AddressField(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("eIP"));
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);

  auto* layout = new QHBoxLayout(this);
  // A pixel clear of the frame's line on every side: at fractional screen
  // scales the line is drawn wider than the frame's width says, and octets
  // reaching into it would hide it everywhere but under the dots.
  layout->setContentsMargins(2, 1, 2, 1);
  layout->setSpacing(0);
  for (std::size_t i = 0; i < octets_.size(); ++i) {
    if (i > 0) {
      auto* dot = new QLabel(QStringLiteral("."), this);
      dot->setBackgroundRole(QPalette::Base);
      dot->setAutoFillBackground(true);
      layout->addWidget(dot);
    }
    auto* octet = new QLineEdit(this);
    octet->setObjectName(QStringLiteral("eIPOctet%1").arg(i));
    octet->setFrame(false);
    octet->setAlignment(Qt::AlignCenter);
    octet->setMaxLength(3);
    octet->setValidator(new QRegularExpressionValidator(OctetPattern(), octet));
    octet->installEventFilter(this);
    // Only the first octet is a tab stop: the field is one control.
    if (i > 0) octet->setFocusPolicy(Qt::ClickFocus);
    layout->addWidget(octet, 1);
    octets_[i] = octet;
    connect(octet, &QLineEdit::textEdited, this, [this, i](const QString& text) {
      if (text.size() == 3 && i + 1 < octets_.size()) {
        octets_[i + 1]->setFocus();
        octets_[i + 1]->selectAll();
        advancedTo_ = octets_[i + 1];
      }
    });
  }
  setFocusProxy(octets_[0]);
}

void Ipv4AddressField::SetAddress(const QString& address) {
  const QStringList parts = address.split(u'.');
  bool dottedDecimal = parts.size() == 4;
  for (const QString& part : parts) {
    dottedDecimal = dottedDecimal && !part.isEmpty() && OctetPattern().match(part).hasMatch();
  }
  for (std::size_t i = 0; i < octets_.size(); ++i) {
    octets_[i]->setText(dottedDecimal ? parts[static_cast<int>(i)] : QString());
  }
}

QString Ipv4AddressField::Address() const {
  QStringList parts;
  for (const QLineEdit* octet : octets_) {
    parts << (octet->text().isEmpty() ? QStringLiteral("0") : octet->text());
  }
  return parts.join(u'.');
}

bool Ipv4AddressField::IsBlank() const {
  return std::all_of(octets_.begin(), octets_.end(),
                     [](const QLineEdit* octet) { return octet->text().isEmpty(); });
}

bool Ipv4AddressField::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  const bool isDot = key->key() == Qt::Key_Period || key->key() == Qt::Key_Comma;
  // "192.168" typed in one go: the "2" already moved on, so the dot must not
  // skip a second octet.
  const bool dotAfterAdvance = isDot && watched == advancedTo_;
  advancedTo_ = nullptr;
  if (dotAfterAdvance) return true;
  for (std::size_t i = 0; i < octets_.size(); ++i) {
    if (watched != octets_[i]) continue;
    const bool atStart = octets_[i]->cursorPosition() == 0;
    if (isDot && i + 1 < octets_.size()) {
      octets_[i + 1]->setFocus();
      octets_[i + 1]->selectAll();
      return true;
    }
    if (key->key() == Qt::Key_Backspace && atStart && !octets_[i]->hasSelectedText() && i > 0) {
      octets_[i - 1]->setFocus();
      octets_[i - 1]->end(false);
      return true;
    }
  }
  return QFrame::eventFilter(watched, event);
}

}  // namespace tessaly
