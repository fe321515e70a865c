// The packet store kept in an unnamed file: what it hands back, what a full
// disk does to it, and what happens where the file cannot be made.
#include "log/backing_file.h"
#include "log/packet_log_model.h"
#include "log/packet_store.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Small segments, so that a few thousand packets cross many of them.
constexpr std::size_t kSmallSegment = 256 * 1024;

// 0 to 1024 bytes, different for every n.
Bytes PacketBytes(int n) {
  Bytes bytes(static_cast<std::size_t>(n) * 37 % 1025);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(n * 7 + i);
  return bytes;
}

void Fill(PacketStore& store, int from, int to) {
  for (int n = from; n < to; ++n) {
    const Bytes bytes = PacketBytes(n);
    store.Append(n, bytes.data(), static_cast<int>(bytes.size()), n - 5, n - 1);
  }
}

// Every packet of view from first on, as Fill wrote them.
template <class View>
void ExpectFilled(const View& view, int first, int count) {
  ASSERT_EQ(view.Size(), count);
  for (int n = 0; n < count; ++n) {
    const PacketStore::Packet packet = view.At(n);
    ASSERT_EQ(packet.time, first + n);
    ASSERT_EQ(packet.firstByte, first + n - 5);
    ASSERT_EQ(Bytes(packet.bytes, packet.bytes + packet.count), PacketBytes(first + n)) << n;
  }
}

// The disk space held by this process's unnamed file in folder, found
// through /proc (it has no name of its own to look for); -1 for none.
long long DiskBytesOfFileIn(const QString& folder) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (error || target.rfind(folder.toStdString() + "/", 0) != 0) continue;
    struct stat status {};
    if (::stat(entry.path().c_str(), &status) == 0) return static_cast<long long>(status.st_blocks) * 512;
  }
  return -1;
}

// A file-size limit on this process for the life of the object: the
// file system's answer to a full disk, without a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = ::signal(SIGXFSZ, SIG_IGN);  // else going over kills the test
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  sighandler_t previous_;
};

TEST(BackedPacketStore, PacketsAcrossSegmentsIntactAfterPagesDropped_SnapshotOutlivesClear_NothingNamedLeft) {
  QTemporaryDir folder;
  PacketStore store;
  ASSERT_TRUE(store.SetBackingDirectory(folder.path().toStdString(), kSmallSegment));
  Fill(store, 0, 1);
  EXPECT_GE(DiskBytesOfFileIn(folder.path()),
            static_cast<long long>(std::min(kSmallSegment, BackingFile::kReserveStepBytes)))
      << "disk space is taken before the first page is written";
  store.Clear();
  constexpr int kPackets = 12'000;  // ~6 MB of bytes and 3 record blocks: some 25 segments
  Fill(store, 0, kPackets);
  EXPECT_TRUE(store.BackingProblem().empty());
  // Every page dropped from the process: what comes back is read from the
  // file.
  for (int call = 0; call < 20; ++call) store.ReleasePages();
  ExpectFilled(store, 0, kPackets);

  const PacketStore::Snapshot kept = store.TakeSnapshot();
  store.Clear();
  Fill(store, 100, 300);  // into a new file, while the old one is still read
  ExpectFilled(kept, 0, kPackets);
  ExpectFilled(store, 100, 200);
  EXPECT_TRUE(QDir(folder.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
      << "the file has no name, so nothing is left behind";
}

TEST(BackedPacketStore, FullDisk_LogGoesOnInTheHeap_SaidWhy_EveryPacketKept_ClearStartsAgain) {
  QTemporaryDir folder;
  PacketStore store;
  ASSERT_TRUE(store.SetBackingDirectory(folder.path().toStdString(), kSmallSegment));
  constexpr int kPackets = 12'000;  // ~6 MB: far more than the disk takes
  {
    const FileSizeLimit limit(3 * kSmallSegment);
    Fill(store, 0, kPackets);
  }
  EXPECT_NE(store.BackingProblem().find(folder.path().toStdString()), std::string::npos) << store.BackingProblem();
  for (int call = 0; call < 20; ++call) store.ReleasePages();
  ExpectFilled(store, 0, kPackets);
  store.Clear();
  EXPECT_TRUE(store.BackingProblem().empty()) << "a new file after Clear";
  Fill(store, 0, 50);
  ExpectFilled(store, 0, 50);
}

TEST(BackedPacketStore, FolderThatCannotTakeTheFile_HeapInsteadAndSaidWhy) {
  QTemporaryDir folder;
  const QString notAFolder = folder.filePath(QStringLiteral("plain-file"));
  std::ofstream(notAFolder.toStdString()) << "x";
  const std::string inside = (notAFolder + QStringLiteral("/captures")).toStdString();
  PacketStore store;
  EXPECT_FALSE(store.SetBackingDirectory(inside));
  EXPECT_NE(store.BackingProblem().find(inside), std::string::npos) << store.BackingProblem();
  Fill(store, 0, 5000);
  ExpectFilled(store, 0, 5000);
}

class BackedLogModelTest : public testing::Test {
 protected:
  void Append(int n) {
    const Bytes bytes(1000, static_cast<std::uint8_t>(n));  // long packets: a segment fills fast
    model.AppendPacket(bytes.data(), static_cast<int>(bytes.size()), n);
  }
  QTemporaryDir folder;
  PacketLogModel model;
  QSignalSpy exhausted{&model, &PacketLogModel::memoryExhausted};
  QSignalSpy unavailable{&model, &PacketLogModel::backingUnavailable};
};

// A disk with a few megabytes free still takes a log (the file grows in
// steps, not a whole segment at once), and when it takes no more the log
// goes on in memory, said once.
TEST_F(BackedLogModelTest, NearlyFullDisk_LogInTheFile_ThenInMemory_SaidOnce) {
  model.SetBackingDirectory(folder.path());
  {
    const FileSizeLimit limit(8 * 1024 * 1024);
    for (int n = 0; n < 4'000; ++n) Append(n);
    EXPECT_TRUE(unavailable.isEmpty()) << "4 MB fit beside 8 MB free";
    for (int n = 4'000; n < 12'000; ++n) Append(n);
  }
  EXPECT_TRUE(exhausted.isEmpty());
  ASSERT_EQ(unavailable.size(), 1);
  EXPECT_TRUE(unavailable[0][0].toString().contains(folder.path())) << unavailable[0][0].toString().toStdString();
  ASSERT_EQ(model.PacketCount(), 12'000);
  for (const int row : {0, 3'999, 8'000, 11'999}) {
    const PacketStore::Packet packet = model.PacketAt(row);
    ASSERT_EQ(packet.count, 1000);
    EXPECT_EQ(packet.bytes[999], static_cast<std::uint8_t>(row)) << row;
  }
}

TEST_F(BackedLogModelTest, FolderRefused_SaidOnceWithTheFirstPacket) {
  const QString notAFolder = folder.filePath(QStringLiteral("plain-file"));
  std::ofstream(notAFolder.toStdString()) << "x";
  model.SetBackingDirectory(notAFolder + QStringLiteral("/captures"));
  EXPECT_TRUE(unavailable.isEmpty()) << "not before anything is logged";
  Append(1);
  Append(2);
  model.Clear();
  Append(3);
  ASSERT_EQ(unavailable.size(), 1);
  EXPECT_FALSE(unavailable[0][0].toString().isEmpty());
  EXPECT_EQ(model.PacketCount(), 1);
}

// The file's pages are given back on a timer after rows come or are read;
// a silent log nobody reads leaves the window's thread asleep.
TEST_F(BackedLogModelTest, PagesGivenBackAfterRowsOrReads_NotWhileSilent) {
  model.SetBackingDirectory(folder.path());
  EXPECT_FALSE(model.ReleasingPages()) << "an empty log";
  Append(1);
  model.AnnouncePackets();
  EXPECT_TRUE(model.ReleasingPages()) << "rows came";
  // One segment: two calls visit it twice, a second at most.
  EXPECT_TRUE(QTest::qWaitFor([this] { return !model.ReleasingPages(); }, 5000)) << "silent";
  const PacketStore::Snapshot read = model.TakeSnapshot();
  EXPECT_TRUE(model.ReleasingPages()) << "rows read";
}

}  // namespace
}  // namespace tessaly
