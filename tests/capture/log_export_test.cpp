// The log leaving the program: each file format read back, and saves that
// are cancelled, fail, or run while capture goes on.
#include "log/log_export.h"
#include "log/log_write_job.h"
#include "log/packet_store.h"
#include "log/packet_text.h"
#include "capture_file/capture_file_reader.h"
#include "tests/support/test_support.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Row {
  PacketTime time;
  Bytes bytes;
  bool operator==(const Row&) const = default;
};

Bytes PacketBytes(int n) {
  static const int kSizes[] = {0, 1, 8, 256, 1024, 3};
  Bytes bytes(kSizes[n % 6]);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(n * 7 + i);
  return bytes;
}

// Rows around local midnight and a second apart, with odd microseconds.
std::vector<Row> SampleRows(int count) {
  const PacketTime midnight =
      QDateTime(QDate(2026, 3, 29), QTime(0, 0)).toMSecsSinceEpoch() * 1000;
  std::vector<Row> rows;
  for (int n = 0; n < count; ++n) {
    rows.push_back({midnight - 2'500'000 + PacketTime{n} * 1'000'123, PacketBytes(n)});
  }
  return rows;
}

void Fill(PacketStore& store, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    store.Append(row.time, row.bytes.data(), static_cast<int>(row.bytes.size()));
  }
}

Bytes BytesOfHex(const QString& hex) {
  Bytes bytes;
  for (const QString& digits : hex.split(u' ', Qt::SkipEmptyParts)) {
    bytes.push_back(static_cast<std::uint8_t>(digits.toUInt(nullptr, 16)));
  }
  return bytes;
}

std::uint32_t Le32(const QByteArray& data, qsizetype at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(data[at + i]);
  return value;
}

// A small pcap reader: the header's fields checked, then every record.
std::vector<Row> ReadPcap(const QByteArray& file) {
  EXPECT_GE(file.size(), 24);
  EXPECT_EQ(Le32(file, 0), 0xA1B2C3D4u);
  EXPECT_EQ(Le32(file, 4), 0x00040002u);  // version 2.4
  EXPECT_EQ(Le32(file, 20), 147u);
  std::vector<Row> rows;
  for (qsizetype at = 24; at < file.size();) {
    const std::uint32_t length = Le32(file, at + 8);
    EXPECT_EQ(Le32(file, at + 12), length);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.constData() + at + 16);
    rows.push_back({PacketTime{Le32(file, at)} * 1'000'000 + Le32(file, at + 4),
                    Bytes(bytes, bytes + length)});
    at += 16 + length;
  }
  return rows;
}

// Text and CSV give back what they show: the millisecond and the bytes.
std::vector<Row> ReadText(const QByteArray& file, LogFileFormat format, const std::vector<Row>& sent) {
  QList<QByteArray> lines = file.split('\n');
  EXPECT_TRUE(lines.takeLast().isEmpty()) << "the last line ends too";
  if (format == LogFileFormat::kCsv) {
    EXPECT_EQ(lines.takeFirst(), "Date and time,Time,Bytes,Data\r");
  }
  std::vector<Row> rows;
  for (qsizetype n = 0; n < lines.size(); ++n) {
    const QString line = QString::fromLatin1(lines[n]);
    const PacketTime sentMillisecond = sent[n].time / 1000 * 1000;
    if (format == LogFileFormat::kText) {
      const QStringList cells = line.split(u'\t');
      EXPECT_EQ(cells.size(), 2);
      EXPECT_EQ(cells[0], FormatTimeStamp(LocalMillisecondsOfDay(sent[n].time)));
      EXPECT_EQ(cells[1], FormatPacketBytes(sent[n].bytes.data(), int(sent[n].bytes.size())));
      rows.push_back({sentMillisecond, BytesOfHex(cells[1])});
    } else {
      EXPECT_TRUE(line.endsWith(u'\r'));
      const QStringList fields = line.chopped(1).split(u',');
      EXPECT_EQ(fields.size(), 4);
      const QDateTime stamp = QDateTime::fromString(fields[0], Qt::ISODateWithMs);
      EXPECT_TRUE(stamp.isValid()) << fields[0].toStdString();
      EXPECT_EQ(fields[1], FormatTimeStamp(LocalMillisecondsOfDay(sent[n].time)));
      const Bytes bytes = BytesOfHex(fields[3]);
      EXPECT_EQ(fields[2].toInt(), int(bytes.size()));
      rows.push_back({stamp.toMSecsSinceEpoch() * 1000, bytes});
    }
  }
  return rows;
}

class LogFileTest : public testing::Test {
 protected:
  QString PathOf(const char* name) const { return QString::fromStdString((folder.Path() / name).string()); }
  QStringList FilesInFolder() const {
    return QDir(QString::fromStdString(folder.Path().string())).entryList(QDir::Files);
  }
  // Runs the job to its end.
  static void Finish(LogWriteJob& job) {
    QSignalSpy finished(&job, &LogWriteJob::finished);
    job.Start();
    ASSERT_TRUE(finished.wait(60'000));
  }

  test::TemporaryFolder folder;
  PacketStore store;
};

TEST_F(LogFileTest, EachFormatReadsBackWithItsStampsCountsAndBytes) {
  const std::vector<Row> sent = SampleRows(40);
  Fill(store, sent);
  std::vector<Row> sentToMillisecond = sent;
  for (Row& row : sentToMillisecond) row.time = row.time / 1000 * 1000;

  for (const char* name : {"log.txt", "log.csv", "log.pcap"}) {
    SCOPED_TRACE(name);
    const LogFileFormat format = LogFileFormatForName(QString::fromLatin1(name).toUpper());
    LogWriteJob job(LogWriter(store.TakeSnapshot(), format), PathOf(name));
    Finish(job);
    ASSERT_EQ(job.Result(), LogWriteJob::Outcome::kDone) << job.ErrorText().toStdString();
    QFile file(PathOf(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    if (format == LogFileFormat::kPcap) {
      EXPECT_EQ(ReadPcap(content), sent);
    } else {
      EXPECT_EQ(ReadText(content, format, sent), sentToMillisecond);
    }
  }
  EXPECT_EQ(FilesInFolder(), (QStringList{"log.csv", "log.pcap", "log.txt"}));
}

TEST_F(LogFileTest, Pcapng_KeepsTheLineFirstBytesAndNotes) {
  const Bytes request{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  const PacketTime noon = 1'796'731'200'000'000;
  store.Append(noon + 9'000, request.data(), 8, noon, noon + 8'000);
  store.Append(noon + 50'000, nullptr, 0);  // the note's row
  store.Append(noon + 90'000, request.data(), 3, noon + 80'000, noon + 83'000);
  store.Append(noon + 99'000, nullptr, 0);  // a note after the last packet
  LogWriter writer(store.TakeSnapshot(), LogFileFormatForName("log.PCAPNG"));
  writer.SetMarks({{1, QStringLiteral("link lost")}, {3, QStringLiteral("stopped")}});
  writer.SetLine({"ttyUSB0", "ttyUSB0 9600 8N1, packets end after 4 ms of silence", 9600});
  LogWriteJob job(std::move(writer), PathOf("log.pcapng"));
  Finish(job);
  ASSERT_EQ(job.Result(), LogWriteJob::Outcome::kDone) << job.ErrorText().toStdString();

  const CaptureFileContents contents = ReadCaptureFile(PathOf("log.pcapng").toStdString());
  ASSERT_EQ(contents.interfaces.size(), 1u);
  EXPECT_EQ(contents.interfaces[0].link.description, "ttyUSB0 9600 8N1, packets end after 4 ms of silence");
  ASSERT_EQ(contents.packets.size(), 2u) << "notes are no packets";
  EXPECT_EQ(contents.packets[0].stamp, noon + 9'000);
  EXPECT_EQ(contents.packets[0].firstByte, noon);
  EXPECT_EQ(contents.packets[1].bytes, Bytes(request.begin(), request.begin() + 3));
  EXPECT_EQ(contents.packets[1].comments.back(), "link lost");
  EXPECT_EQ(contents.comments, std::vector<std::string>{"stopped"});
}

TEST_F(LogFileTest, SaveWhileRowsArriveAndTheLogIsCleared_HoldsTheRowsOfItsStart) {
  const std::vector<Row> sent = SampleRows(3000);
  Fill(store, sent);
  LogWriteJob job(LogWriter(store.TakeSnapshot(), LogFileFormat::kPcap), PathOf("busy.pcap"));
  QSignalSpy finished(&job, &LogWriteJob::finished);
  job.Start();
  // Appending on this thread, and clearing, while the job reads its rows.
  for (int n = 0; finished.isEmpty(); ++n) {
    const Bytes bytes = PacketBytes(n);
    store.Append(n, bytes.data(), static_cast<int>(bytes.size()));
    if (n == 500) store.Clear();
    if (n % 64 == 0) QCoreApplication::processEvents();
    ASSERT_LT(n, 50'000'000) << "the save never ended";
  }
  ASSERT_EQ(job.Result(), LogWriteJob::Outcome::kDone) << job.ErrorText().toStdString();
  QFile file(PathOf("busy.pcap"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(ReadPcap(file.readAll()), sent);
}

TEST_F(LogFileTest, CancelledHalfWay_TheOldFileStaysAndNoTemporaryIsLeft) {
  Fill(store, SampleRows(1000));
  const QString path = PathOf("kept.txt");
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
  }
  // Ten million rows: far more than can be written before the cancel lands.
  LogWriteJob job(LogWriter(store.TakeSnapshot(), LogFileFormat::kText,
                            std::vector<RowRange>(10'000, RowRange{0, 999})),
                  path);
  QSignalSpy finished(&job, &LogWriteJob::finished);
  job.Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return job.RowsWritten() > 0; }, 60'000));
  job.Cancel();
  ASSERT_TRUE(finished.wait(60'000));
  EXPECT_EQ(job.Result(), LogWriteJob::Outcome::kCancelled);
  QFile kept(path);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), "old");
  EXPECT_EQ(FilesInFolder(), QStringList{"kept.txt"});
}

TEST_F(LogFileTest, FailingHalfWayOrAFolder_ReportedWithPathAndReason_NoFileLeft) {
  Fill(store, SampleRows(3000));
  // A file-size limit makes the disk refuse the write half-way, as a full
  // disk would.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 100'000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  LogWriteJob tooLarge(LogWriter(store.TakeSnapshot(), LogFileFormat::kCsv), PathOf("big.csv"));
  Finish(tooLarge);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(tooLarge.Result(), LogWriteJob::Outcome::kFailed);
  EXPECT_EQ(tooLarge.ErrorText(), "Cannot save the log to " + PathOf("big.csv") + ": File too large");

  QDir(QString::fromStdString(folder.Path().string())).mkdir(QStringLiteral("sub.pcap"));
  LogWriteJob folderTarget(LogWriter(store.TakeSnapshot(), LogFileFormat::kPcap), PathOf("sub.pcap"));
  Finish(folderTarget);
  EXPECT_EQ(folderTarget.Result(), LogWriteJob::Outcome::kFailed);
  EXPECT_EQ(folderTarget.ErrorText(), "Cannot save the log to " + PathOf("sub.pcap") + ": it is a folder");
  EXPECT_TRUE(FilesInFolder().isEmpty()) << FilesInFolder().join(u' ').toStdString();
}

}  // namespace
}  // namespace tessaly
