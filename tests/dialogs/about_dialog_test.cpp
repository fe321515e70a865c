#include "dialogs/about_dialog.h"

#include "app/common/product.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <ostream>

namespace tessaly {
namespace {

// Takes the place of the browser: records what a click asked to open.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened << url; }
};

class AboutDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    dialog_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog_));
  }

  template <class Widget>
  Widget* Child(const char* name) {
    auto* child = dialog_.findChild<Widget*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  AboutDialog dialog_;
};

struct KeyCase {
  const char* scenario;
  const char* focusedChild;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  bool closes;
};

void PrintTo(const KeyCase& keyCase, std::ostream* out) { *out << keyCase.scenario; }

class AboutDialogKeys : public AboutDialogTest, public testing::WithParamInterface<KeyCase> {};

TEST_P(AboutDialogKeys, OnlyEnterCloses) {
  const KeyCase& keyCase = GetParam();
  QWidget* focused = Child<QWidget>(keyCase.focusedChild);
  ASSERT_NE(focused, nullptr);
  focused->setFocus();
  QTest::keyClick(focused, keyCase.key, keyCase.modifiers);
  EXPECT_EQ(dialog_.isVisible(), !keyCase.closes);
  if (keyCase.closes) {
    EXPECT_EQ(dialog_.result(), QDialog::Accepted);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AboutDialogKeys,
    testing::Values(KeyCase{"EscapeOnOk_StaysOpen", "bOK", Qt::Key_Escape, Qt::NoModifier, false},
                    KeyCase{"EscapeInLicence_StaysOpen", "mmLicense", Qt::Key_Escape, Qt::NoModifier, false},
                    KeyCase{"ReturnOnOk_Closes", "bOK", Qt::Key_Return, Qt::NoModifier, true},
                    KeyCase{"KeypadEnterOnOk_Closes", "bOK", Qt::Key_Enter, Qt::KeypadModifier, true},
                    KeyCase{"ReturnInLicence_PressesOk", "mmLicense", Qt::Key_Return, Qt::NoModifier, true}),
    [](const testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.scenario); });

TEST_F(AboutDialogTest, LicenceBox_ShowsTheLicenseFileAndRefusesEdits) {
  QFile file(QStringLiteral(TESSALY_LICENSE_FILE));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString onDisk = QString::fromUtf8(file.readAll());
  auto* box = Child<QPlainTextEdit>("mmLicense");
  ASSERT_NE(box, nullptr);
  const QString shown = box->toPlainText();

  // Lines are rewrapped to the box; words and paragraphs are the file's own.
  EXPECT_FALSE(shown.isEmpty());
  EXPECT_EQ(shown.simplified(), onDisk.simplified());
  EXPECT_EQ(shown.count(QStringLiteral("\n\n")), onDisk.trimmed().count(QRegularExpression(QStringLiteral("\n\\s*\n"))));

  box->setFocus();
  QTest::keyClicks(box, QStringLiteral("x"));
  QTest::keyClick(box, Qt::Key_Delete);
  QTest::keyClick(box, Qt::Key_Backspace);
  EXPECT_EQ(box->toPlainText(), shown);
}

TEST_F(AboutDialogTest, WebLink_ClickAnywhereOnItOpensTheWebAddressOnce) {
  const QUrl address(QString::fromLatin1(kWebAddress));
  UrlRecorder browser;
  // Registered before any click so that no real browser is ever started.
  QDesktopServices::setUrlHandler(address.scheme(), &browser, "Open");
  auto* link = Child<QLabel>("lbWebLink");
  auto* author = Child<QLabel>("lbAuthor");
  if (link != nullptr && author != nullptr) {
    QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, link->rect().center());
    QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(link->width() - 1, link->height() - 1));
    QTest::mouseClick(link, Qt::RightButton, Qt::NoModifier, link->rect().center());
    QTest::mouseClick(author, Qt::LeftButton, Qt::NoModifier, author->rect().center());
    EXPECT_EQ(browser.opened, QList<QUrl>({address, address}));
  }
  QDesktopServices::unsetUrlHandler(address.scheme());
}

TEST_F(AboutDialogTest, FixedSize_EveryLineAndTheButtonShowWhole) {
  EXPECT_EQ(dialog_.minimumSize(), dialog_.maximumSize());
  for (const QLabel* label : dialog_.findChildren<QLabel*>()) {
    EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();
    EXPECT_GE(label->height(), label->sizeHint().height()) << label->objectName().toStdString();
  }
  const auto* ok = Child<QPushButton>("bOK");
  ASSERT_NE(ok, nullptr);
  EXPECT_TRUE(dialog_.rect().contains(ok->geometry()));
}

TEST(AboutDialogPlacement, ShownFromAnOffCentreWindow_IsCentredOnTheScreen) {
  QWidget owner;
  owner.setGeometry(0, 0, 200, 150);
  owner.show();
  AboutDialog dialog(&owner);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  const QPoint offset = dialog.frameGeometry().center() - dialog.screen()->availableGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2);
}

}  // namespace
}  // namespace tessaly

#include "about_dialog_test.moc"
