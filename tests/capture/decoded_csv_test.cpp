// "CSV with decoded fields" read back with a CSV parser: the plain CSV's
// columns, then each row's unit, function, direction, addresses, values by
// the chosen types and notation, exception, CRC status, paired row and
// turnaround; fields holding commas or quotes survive.
#include "log/log_export.h"
#include "modbus/crc16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Record = std::vector<std::string>;

Bytes Frame(Bytes body) {
  const std::uint16_t crc = modbus::Crc16(body.data(), body.size());
  body.push_back(static_cast<std::uint8_t>(crc));
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  return body;
}

// RFC 4180: records end in CRLF; a quoted field may hold commas, doubled
// quotes and line breaks.
std::vector<Record> ParseCsv(const std::string& text) {
  std::vector<Record> records;
  Record record;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      record.push_back(std::move(field));
      field.clear();
      records.push_back(std::move(record));
      record.clear();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(record.empty() && field.empty() && !quoted) << "the text ends inside a record";
  return records;
}

TEST(DecodedCsv, ReadBackEveryRowDecodedByTheChosenTypes) {
  PacketStore store;
  std::int64_t at = 1'700'000'000'000'000;
  Bytes damaged = Frame({0x05, 0x03, 0x02, 0x00, 0x01});
  damaged.back() ^= 0xFF;
  const std::vector<Bytes> rows = {
      Frame({0x05, 0x03, 0x00, 0x64, 0x00, 0x03}),                          // 1 read 100..102
      Frame({0x05, 0x03, 0x06, 0x43, 0x66, 0x80, 0x00, 0xFF, 0xFE}),        // 2 230.5, -2
      Frame({0x05, 0x10, 0x00, 0x0A, 0x00, 0x01, 0x02, 0x00, 0x2A}),        // 3 write 10
      Frame({0x05, 0x90, 0x02}),                                            // 4 refused
      Frame({0x06, 0x01, 0x00, 0x00, 0x00, 0x03}),                          // 5 coils 0..2
      damaged,                                                              // 6
  };
  for (const Bytes& row : rows) {
    at += 20'000;
    store.Append(at, row.data(), static_cast<int>(row.size()));
  }
  LogWriter writer(store.TakeSnapshot(), LogFileFormat::kDecodedCsv);
  modbus::DecodingChoices choices;
  choices.timing = {9600, 10};
  choices.notation = modbus::AddressNotation::kTableDigit;
  choices.types[5].Set({modbus::Table::kHoldingRegisters, 100, 101, modbus::ValueType::kFloat32,
                        modbus::WordOrder::kHighFirst});
  choices.types[5].Set({modbus::Table::kHoldingRegisters, 102, 102, modbus::ValueType::kSigned16,
                        modbus::WordOrder::kHighFirst});
  writer.SetDecoding(choices);
  QByteArray bytes;
  while (writer.WriteNext(bytes)) {
  }
  const std::vector<Record> records = ParseCsv(bytes.toStdString());
  ASSERT_EQ(records.size(), rows.size() + 1);
  EXPECT_EQ(records[0], (Record{"Date and time", "Time", "Bytes", "Data", "Unit", "Function", "Direction",
                                "Start address", "Quantity", "Values", "Exception", "CRC", "Paired row",
                                "Turnaround ms (answer's first byte less request's last byte)"}));
  for (const Record& record : records) EXPECT_EQ(record.size(), 14u);

  // The plain CSV's columns come first, as they were.
  EXPECT_EQ(records[1][2], "8");
  EXPECT_EQ(records[1][3], "05 03 00 64 00 03 45 90");
  // 20 ms between the ends, less the time the answer's bytes after its
  // first took at 9600 baud (10 of 11: 10.417 ms): 9.6 ms from the request's
  // last byte to the answer's first.
  EXPECT_EQ(Record(records[1].begin() + 4, records[1].end()),
            (Record{"5", "3", "Request", "40101", "3", "", "", "Good frame", "2", "9.6"}));
  EXPECT_EQ(Record(records[2].begin() + 4, records[2].end()),
            (Record{"5", "3", "Response", "40101", "3", "40101=230.5 40103=-2", "", "Good frame", "1", "9.6"}));
  EXPECT_EQ(records[3][9], "40011=42");
  EXPECT_EQ(records[3][13], "15.8");  // 20 ms less the exception's 4 bytes after its first
  EXPECT_EQ(records[4][10], "2 Illegal data address");
  EXPECT_EQ(records[4][12], "3");
  EXPECT_EQ(records[5][7], "00001");
  EXPECT_EQ(records[5][11], "Good frame");
  EXPECT_EQ(Record(records[6].begin() + 4, records[6].end()),
            (Record{"", "", "", "", "", "", "", "Bad CRC", "", ""}));
}

TEST(DecodedCsv, LinkLostAndBackRowsKeptAsTheCsvKeepsThem_WithEmptyDecodedFields) {
  PacketStore store;
  const std::int64_t noon = 1'700'000'000'000'000;
  const Bytes request = Frame({0x05, 0x03, 0x00, 0x64, 0x00, 0x01});
  store.Append(noon, request.data(), static_cast<int>(request.size()));
  store.Append(noon + 1'000, nullptr, 0);
  store.Append(noon + 2'000'000, nullptr, 0);
  store.Append(noon + 2'100'000, request.data(), static_cast<int>(request.size()));
  const auto written = [&store](LogFileFormat format) {
    LogWriter writer(store.TakeSnapshot(), format);
    writer.SetMarks({{1, QStringLiteral("Link lost: \"gateway\" gone")}, {2, QStringLiteral("Link back")}});
    QByteArray bytes;
    while (writer.WriteNext(bytes)) {
    }
    return ParseCsv(bytes.toStdString());
  };
  const std::vector<Record> plain = written(LogFileFormat::kCsv);
  const std::vector<Record> decoded = written(LogFileFormat::kDecodedCsv);
  ASSERT_EQ(plain.size(), 5u);
  ASSERT_EQ(decoded.size(), 5u);
  for (std::size_t row = 0; row < decoded.size(); ++row) {
    ASSERT_EQ(decoded[row].size(), 14u) << "record " << row;
    EXPECT_EQ(Record(decoded[row].begin(), decoded[row].begin() + 4), plain[row]) << "record " << row;
  }
  EXPECT_EQ(decoded[2][2], "0");
  EXPECT_EQ(decoded[2][3], "Link lost: \"gateway\" gone");
  EXPECT_EQ(decoded[3][3], "Link back");
  for (const std::size_t row : {2u, 3u}) {
    EXPECT_EQ(Record(decoded[row].begin() + 4, decoded[row].end()), Record(10, "")) << "record " << row;
  }
  EXPECT_EQ(decoded[1][11], "Good frame");
  EXPECT_EQ(decoded[4][11], "Good frame");
}

TEST(DecodedCsv, FieldsWithCommasAndQuotesAreQuoted) {
  EXPECT_EQ(modbus::CsvField("plain"), "plain");
  EXPECT_EQ(modbus::CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(modbus::CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  const std::vector<Record> back = ParseCsv(modbus::CsvField("x,\"y\"\r\nz") + ",2\r\n");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0], (Record{"x,\"y\"\r\nz", "2"}));
}

}  // namespace
}  // namespace tessaly
