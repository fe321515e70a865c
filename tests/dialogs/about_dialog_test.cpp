#include "dialogs/about_dialog.h"

#include "presentation/product.h"

#include "tests/support/test_support.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

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

  AboutDialog dialog_;
};

TEST_F(AboutDialogTest, KeysInTheLicenceBox_EnterPressesOk_EscapeCloses) {
  auto* licence = dialog_.findChild<QPlainTextEdit*>(QStringLiteral("mmLicense"));
  ASSERT_NE(licence, nullptr);
  licence->setFocus();
  QTest::keyClick(licence, Qt::Key_Return);
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(dialog_.result(), QDialog::Accepted);

  dialog_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog_));
  licence->setFocus();
  QTest::keyClick(licence, Qt::Key_Escape);
  EXPECT_FALSE(dialog_.isVisible());
}

// The picture is drawn when the box first shows, not when it is built at
// start-up; shown, it is there at the label's size.
TEST_F(AboutDialogTest, PictureDrawnOnceShown) {
  const auto* picture = dialog_.findChild<QLabel*>(QStringLiteral("imgPicture"));
  ASSERT_NE(picture, nullptr);
  ASSERT_FALSE(picture->pixmap().isNull());
  EXPECT_EQ(picture->pixmap().deviceIndependentSize().toSize(), picture->size());
}

TEST_F(AboutDialogTest, LicenceBox_ShowsTheLicenseFileAndRefusesEdits) {
  QFile file(QStringLiteral(TESSALY_LICENSE_FILE));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString onDisk = QString::fromUtf8(file.readAll());
  auto* box = dialog_.findChild<QPlainTextEdit*>(QStringLiteral("mmLicense"));
  ASSERT_NE(box, nullptr);
  const QString shown = box->toPlainText();

  // Lines are rewrapped to the box; words and paragraphs are the file's own.
  EXPECT_FALSE(shown.isEmpty());
  EXPECT_EQ(shown.simplified(), onDisk.simplified());
  EXPECT_EQ(shown.count(QStringLiteral("\n\n")), onDisk.trimmed().count(QRegularExpression(QStringLiteral("\n\\s*\n"))));

  box->setFocus();
  QTest::keyClicks(box, QStringLiteral("x"));
  QTest::keyClick(box, Qt::Key_Backspace);
  EXPECT_EQ(box->toPlainText(), shown);
}

TEST_F(AboutDialogTest, WebLink_ClickAnywhereOnItOpensTheWebAddress) {
  auto* link = dialog_.findChild<QLabel*>(QStringLiteral("lbWebLink"));
  auto* author = dialog_.findChild<QLabel*>(QStringLiteral("lbAuthor"));
  ASSERT_NE(link, nullptr);
  ASSERT_NE(author, nullptr);
  const QUrl address(QString::fromLatin1(kWebAddress));
  UrlRecorder browser;
  // Registered before any click so that no real browser is ever started.
  QDesktopServices::setUrlHandler(address.scheme(), &browser, "Open");
  QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, link->rect().center());
  QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(link->width() - 1, link->height() - 1));
  QTest::mouseClick(author, Qt::LeftButton, Qt::NoModifier, author->rect().center());
  QDesktopServices::unsetUrlHandler(address.scheme());
  EXPECT_EQ(browser.opened, QList<QUrl>({address, address}));
}

}  // namespace
}  // namespace tessaly

#include "about_dialog_test.moc"
