#include "dialogs/about_dialog.h"

#include "presentation/product.h"
#include "presentation/ui_scale.h"
#include "dialogs/dialog_layout.h"
#include "resources/image_list.h"
#include "resources/license_text.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStringList>
#include <QUrl>
#include <QVBoxLayout>

namespace tessaly {
namespace {

// Design sizes, in pixels at 120 pixels per inch.
constexpr QSize kClientSize(532, 475);
constexpr QSize kButtonSize(94, 31);
constexpr int kProductNamePixels = 20;
constexpr int kRuleHeight = 5;
constexpr int kOuterMargin = 8;
constexpr int kPanelMargin = 12;
constexpr int kPictureGap = 16;

constexpr char16_t kRightsNotice[] = u"Copyright \u00A9 2026 The Tessaly developers";

// Opens a web address when clicked anywhere on its text. Opening is best
// effort: a machine with no browser simply shows nothing, as intended.
class WebLinkLabel final : public QLabel {
 public:
  WebLinkLabel(const QString& address, QWidget* parent) : QLabel(address, parent), address_(address) {
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette navy = palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    setPalette(navy);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
      QDesktopServices::openUrl(address_);
    }
    QLabel::mouseReleaseEvent(event);
  }

 private:
  QUrl address_;
};

// LICENSE is wrapped at 80 columns for terminals; the box wraps to its own
// width, so the lines of each paragraph are joined and the blank lines
// between paragraphs kept.
QString JoinParagraphLines(const QString& text) {
  QStringList paragraphs;
  QStringList lines;
  const auto finishParagraph = [&] {
    if (!lines.isEmpty()) paragraphs << lines.join(u' ');
    lines.clear();
  };
  for (const QString& line : text.split(u'\n')) {
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty()) {
      finishParagraph();
    } else {
      lines << trimmed;
    }
  }
  finishParagraph();
  return paragraphs.join(QStringLiteral("\n\n"));
}

QLabel* PlainLabel(const QString& text, const char* objectName, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(objectName));
  label->setTextFormat(Qt::PlainText);
  return label;
}

// The picture itself is drawn when the box first shows (see showEvent):
// the box is built at start-up, before the main window's first paint.
QLabel* PictureLabel(QWidget* parent) {
  const int side = Scaled(kAboutPictureSide);
  auto* label = new QLabel(parent);
  label->setObjectName(QStringLiteral("imgPicture"));
  label->setFixedSize(side, side);
  return label;
}

void DrawPicture(QLabel& label) {
  const qreal ratio = qApp->devicePixelRatio();
  QPixmap picture = AboutPicture(qRound(label.width() * ratio));
  picture.setDevicePixelRatio(ratio);
  label.setPixmap(picture);
}

// Picture on the left; name and version beside it.
QLayout* TitleRow(QWidget* panel) {
  auto* name = PlainLabel(QString::fromLatin1(kProductName), "lbProductName", panel);
  QFont nameFont = name->font();
  nameFont.setPixelSize(Scaled(kProductNamePixels));
  nameFont.setBold(true);
  nameFont.setItalic(true);
  name->setFont(nameFont);

  auto* titles = new QVBoxLayout;
  titles->setSpacing(Scaled(2));
  titles->addStretch();
  titles->addWidget(name);
  titles->addWidget(PlainLabel(QString::fromLatin1(kProductVersionText), "lbVersion", panel));
  titles->addStretch();

  auto* row = new QHBoxLayout;
  row->setSpacing(Scaled(kPictureGap));
  row->addWidget(PictureLabel(panel), 0, Qt::AlignTop);
  row->addLayout(titles, 1);
  return row;
}

// The makers' lines, indented to line up with the name above them.
QLayout* ContactLines(QWidget* panel) {
  auto* link = new WebLinkLabel(QString::fromLatin1(kWebAddress), panel);
  link->setObjectName(QStringLiteral("lbWebLink"));

  auto* lines = new QVBoxLayout;
  lines->setContentsMargins(Scaled(kAboutPictureSide + kPictureGap), 0, 0, 0);
  lines->setSpacing(Scaled(3));
  lines->addWidget(PlainLabel(QString::fromLatin1(kAuthorLine), "lbAuthor", panel));
  // Left-aligned at its own width, so only the text itself is clickable.
  lines->addWidget(link, 0, Qt::AlignLeft);
  lines->addWidget(PlainLabel(QString::fromUtf16(kRightsNotice), "lbCopyright", panel));
  lines->addWidget(PlainLabel(QString::fromLatin1(kContactEmail), "lbEmail", panel));
  return lines;
}

QFrame* Rule(QWidget* panel) {
  auto* rule = new QFrame(panel);
  rule->setObjectName(QStringLiteral("bvRule"));
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Raised);
  rule->setFixedHeight(Scaled(kRuleHeight));
  return rule;
}

QPlainTextEdit* LicenceBox(QWidget* panel) {
  auto* box = new QPlainTextEdit(panel);
  box->setObjectName(QStringLiteral("mmLicense"));
  box->setReadOnly(true);
  box->setFrameShape(QFrame::NoFrame);
  box->setTabChangesFocus(true);
  QPalette dialogColour = box->palette();
  dialogColour.setColor(QPalette::Base, dialogColour.color(QPalette::Window));
  box->setPalette(dialogColour);
  box->setPlainText(JoinParagraphLines(LicenseText()));
  return box;
}

QFrame* Panel(QWidget* dialog) {
  auto* panel = new QFrame(dialog);
  panel->setObjectName(QStringLiteral("pnAbout"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);

  auto* layout = new QVBoxLayout(panel);
  const int margin = Scaled(kPanelMargin);
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->setSpacing(0);
  layout->addLayout(TitleRow(panel));
  layout->addSpacing(Scaled(12));
  layout->addLayout(ContactLines(panel));
  layout->addSpacing(Scaled(8));
  layout->addWidget(Rule(panel));
  layout->addSpacing(Scaled(6));
  layout->addWidget(LicenceBox(panel), 1);
  return panel;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fmAboutBox"));
  setWindowTitle(QStringLiteral("About"));
  // Set before any child exists so that every child inherits it.
  setFont(DesignFont());
  MakeFixedSizeDialog(*this, kClientSize);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("bOK"));
  ok->setDefault(true);
  ok->setFixedSize(Scaled(kButtonSize));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  const int margin = Scaled(kOuterMargin);
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->setSpacing(margin);
  layout->addWidget(Panel(this), 1);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  ok->setFocus();
}

void AboutDialog::showEvent(QShowEvent* event) {
  if (auto* picture = findChild<QLabel*>(QStringLiteral("imgPicture")); picture != nullptr &&
                                                                         picture->pixmap().isNull()) {
    DrawPicture(*picture);
  }
  // The base class places a dialog over its parent; this one goes to the
  // middle of the screen instead.
  QDialog::showEvent(event);
  if (!event->spontaneous()) CentreOnScreen();
}

void AboutDialog::CentreOnScreen() {
  const QScreen* shownOn = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  if (shownOn == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(shownOn->availableGeometry().center());
  move(frame.topLeft());
}

}  // namespace tessaly
