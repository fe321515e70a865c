// The captures folder: a new capture never takes an older one's name; its
// disk budget: the oldest files go first, a file in use never goes, and a
// budget that cannot be kept is said.
#include "capture_file/capture_budget.h"
#include "capture_file/capture_folder.h"
#include "capture_file/capture_file_writer.h"
#include "capture_file/capture_recording.h"
#include "session/line_description.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::test {
namespace {

constexpr std::int64_t kMegabyte = 1024 * 1024;
constexpr std::int64_t kDisk = 1000 * kMegabyte;

CaptureFileEntry Entry(const char* name, std::int64_t megabytes, int minute, bool inUse = false) {
  return {QString::fromLatin1(name), megabytes * kMegabyte,
          QDateTime(QDate(2026, 12, 8), QTime(9, minute)), inUse};
}

TEST(CaptureBudgetTest, OldestGoFirst_UntilBothLimitsHold_InUseNever) {
  const std::vector<CaptureFileEntry> files = {Entry("new", 30, 50, true), Entry("old", 30, 10),
                                               Entry("middle", 30, 30), Entry("older", 30, 20, true)};
  // At most 50 MB: the two oldest that may go, and "older" is in use.
  BudgetVerdict verdict = WeighCaptures(files, {50, 0}, kDisk, kDisk / 2);
  EXPECT_EQ(verdict.remove, (QStringList{"old", "middle"}));
  EXPECT_TRUE(verdict.cannotKeep) << "60 MB in use is more than 50";

  // Within the size, but the disk must keep 5 % (50 MB) free and has 10 MB.
  verdict = WeighCaptures(files, {2048, 5}, kDisk, 10 * kMegabyte);
  EXPECT_EQ(verdict.remove, (QStringList{"old", "middle"}));
  EXPECT_FALSE(verdict.cannotKeep);

  verdict = WeighCaptures(files, {2048, 5}, kDisk, kDisk / 2);
  EXPECT_TRUE(verdict.remove.isEmpty());
  EXPECT_FALSE(verdict.cannotKeep);
}

TEST(CaptureBudgetTest, Folder_RemovesOldCapturesOnly_NeverCurrentUnfinishedOrTheUsers) {
  TemporaryFolder folder;
  const QString dir = QString::fromStdString(folder.Path().string());
  const auto write = [&](const char* name, int minute) {
    const QString path = dir + u'/' + QLatin1String(name);
    std::ofstream(path.toStdString()) << std::string(600 * 1024, 'x');
    QFile file(path);
    file.open(QIODevice::ReadWrite);
    file.setFileTime(QDateTime(QDate(2026, 12, 8), QTime(9, minute)), QFileDevice::FileModificationTime);
    return path;
  };
  const QString oldest = write("tessaly-2026-12-08-090100-ttyUSB0.pcapng", 1);
  const QString cutOff = write("tessaly-2026-12-08-090200-ttyUSB0.pcapng", 2);
  std::ofstream(UnfinishedMarkerOf(cutOff.toStdString())) << "1\n";
  const QString older = write("tessaly-2026-12-08-090300-ttyUSB0-2.pcapng", 3);
  const QString current = write("tessaly-2026-12-08-090400-ttyUSB0.pcapng", 0);  // its time does not matter
  const QString notes = write("notes.txt", 0);
  // Put there by the user, the oldest of all.
  const QString users = write("site-survey.pcapng", 0);
  const QString usersNamedLikeOurs = write("tessaly-site-survey.pcapng", 0);

  const BudgetVerdict verdict = KeepCaptureBudget(dir, current, {1, 0});
  EXPECT_FALSE(QFile::exists(oldest));
  EXPECT_FALSE(QFile::exists(older));
  EXPECT_TRUE(QFile::exists(cutOff)) << "waits to be offered";
  EXPECT_TRUE(QFile::exists(current));
  EXPECT_TRUE(QFile::exists(notes)) << "not a capture";
  EXPECT_TRUE(QFile::exists(users)) << "not one this program recorded";
  EXPECT_TRUE(QFile::exists(usersNamedLikeOurs)) << "not one this program recorded";
  EXPECT_TRUE(verdict.cannotKeep);
}

// Captures are the user's alone, whatever the umask: the folder 0700, a
// file 0600, made new and never through a link planted in its place.
TEST(CaptureFolderTest, FolderAndFiles_OwnersAlone_NeverThroughALink) {
  TemporaryFolder folder;
  const QString dir = QString::fromStdString(folder.Path().string()) + "/captures";
  const mode_t umaskBefore = ::umask(022);
  constexpr PacketTime kNoon = 1'796'731'200'000'000;
  const std::string path = NewCapturePath(dir, kNoon, QStringLiteral("/dev/ttyUSB0"));
  {
    CaptureRecording recording(path, "test", nullptr);
    EXPECT_TRUE(UnfinishedMarkerHeld(UnfinishedMarkerOf(path))) << "held while written";
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString(UnfinishedMarkerOf(path)))) << "a clean close";
  struct stat status {};
  ASSERT_EQ(::stat(dir.toLocal8Bit().constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  const std::string victim = folder.Path().string() + "/victim";
  std::ofstream(victim) << "keep me";
  const std::string planted = NewCapturePath(dir, kNoon + 1'000'000, QStringLiteral("/dev/ttyUSB0"));
  ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
  EXPECT_THROW(CaptureFileWriter(planted, CaptureFileFormat::kPcapng, "test", CaptureFileWriter::Creation::kNew),
               CaptureFileError);
  std::ifstream in(victim);
  std::string kept;
  std::getline(in, kept);
  EXPECT_EQ(kept, "keep me");
  ::umask(umaskBefore);
}

// Two captures begun in the same second on the same line (a Start, a Stop,
// a Start again) get two files.
TEST(CaptureFolderTest, CapturesBegunInTheSameSecond_EachAFileOfItsOwn) {
  TemporaryFolder folder;
  const QString dir = QString::fromStdString(folder.Path().string());
  const QString line = QStringLiteral("/dev/ttyUSB0");
  constexpr PacketTime kNoon = 1'796'731'200'000'000;
  const std::string first = NewCapturePath(dir, kNoon, line);
  std::ofstream(first) << "first";
  const std::string second = NewCapturePath(dir, kNoon, line);
  EXPECT_NE(first, second);
  std::ofstream(second) << "second";
  EXPECT_NE(NewCapturePath(dir, kNoon, line), second);
}

}  // namespace
}  // namespace tessaly::test
