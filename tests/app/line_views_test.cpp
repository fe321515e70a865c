// The line at a glance in the running window: the line health pane over a
// log with an absent unit, an exception and a damaged frame, its counts
// listing their rows in the filter pane, and a clear; the register pane
// reading a float, its types and notation kept for the user, a damaged
// stored type named, and the plot of a register over time.

#include "app/frame_analysis.h"
#include "app/main_window.h"
#include "app/line_views.h"
#include "app/log_save_command.h"
#include "panes/line_health_model.h"
#include "panes/line_health_pane.h"
#include "log/frame_counter.h"
#include "log/log_export.h"
#include "log/log_filter_model.h"
#include "panes/log_filter_pane.h"
#include "modbus/crc16.h"
#include "panes/packet_details_pane.h"
#include "log/packet_log_model.h"
#include "views/packet_log_view.h"
#include "views/row_number_strip.h"
#include "panes/register_model.h"
#include "panes/register_pane.h"
#include "panes/register_plot.h"
#include "settings/registry.h"
#include "tests/app/program_fixture.h"
#include "modbus/line_statistics.h"
#include "modbus/register_value.h"
#include "modbus/register_watch.h"
#include "tools/traffic/modbus_frames.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QSignalSpy>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTest>

#include <vector>

namespace tessaly::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(Bytes body) {
  const std::uint16_t crc = modbus::Crc16(body.data(), body.size());
  body.push_back(static_cast<std::uint8_t>(crc));
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  return body;
}

class LineViewsTest : public ProgramTest {
 protected:
  LineViews& Views() { return Window().Views(); }

  void Log(std::initializer_list<Bytes> packets) {
    for (const Bytes& packet : packets) {
      at_ += 50'000;
      Window().Log().AppendPacket(packet.data(), static_cast<int>(packet.size()), at_);
    }
    Window().Log().AnnouncePackets();
  }

  // Rows 1 to 8: unit 1 answers, unit 7 does not (twice), unit 9 answers
  // with exception 2, and a damaged answer of unit 1.
  void LogPolling() {
    const Bytes read1 = Frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x02});
    Bytes damaged = Frame({0x01, 0x03, 0x04, 0x43, 0x66, 0x80, 0x00});
    damaged.back() ^= 0xFF;
    Log({read1, Frame({0x01, 0x03, 0x04, 0x43, 0x66, 0x80, 0x00}), Frame({0x07, 0x03, 0x00, 0x00, 0x00, 0x02}),
         Frame({0x09, 0x03, 0x00, 0x00, 0x00, 0x02}), Frame({0x09, 0x83, 0x02}),
         Frame({0x07, 0x03, 0x00, 0x00, 0x00, 0x02}), read1, damaged});
  }

  // The cell of a unit's row, or of the bad frames' own row (unit "any").
  QString HealthCell(int unit, int column) { return HealthCell(QString::number(unit), column); }
  QString HealthCell(const QString& unit, int column) {
    LineHealthModel& model = Views().Health().Model();
    for (int row = 0; row < model.rowCount(); ++row) {
      if (model.data(model.index(row, LineHealthModel::kUnit)).toString() == unit) {
        return model.data(model.index(row, column)).toString();
      }
    }
    return QStringLiteral("(no row)");
  }

  void ClickHealthCell(int unit, int column) { ClickHealthCell(QString::number(unit), column); }
  void ClickHealthCell(const QString& unit, int column) {
    QTableView& table = *Views().Health().Table();
    LineHealthModel& model = Views().Health().Model();
    for (int row = 0; row < model.rowCount(); ++row) {
      if (model.data(model.index(row, LineHealthModel::kUnit)).toString() == unit) {
        const QModelIndex cell = model.index(row, column);
        table.scrollTo(cell);
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, table.visualRect(cell).center());
        return;
      }
    }
    ADD_FAILURE() << "no row of unit " << unit.toStdString();
  }

  std::vector<int> FilteredRows() {
    LogFilterModel& rows = Window().Analysis().FilterPane().Model();
    std::vector<int> shown;
    for (int row = 0; row < rows.rowCount(); ++row) shown.push_back(rows.SourceRow(row) + 1);
    return shown;
  }

  std::string StoredForUser(const std::string& key, const std::string& name) const {
    TRegistry store(StoreDirectory());
    store.SetRootKey(RegistryRoot::CurrentUser);
    if (!store.OpenKey(key, false) || !store.ValueExists(name)) return "(missing)";
    return store.ReadString(name);
  }

  PacketTime at_ = 1'700'000'000'000'000;
};

TEST_F(LineViewsTest, LineHealth_CountsPerUnit_CellsListTheirRows_ClearStartsAgain) {
  StartProgram();
  EXPECT_TRUE(Views().Health().isHidden());
  EXPECT_TRUE(Views().Registers().isHidden());
  LogPolling();
  // Opened after the packets came: it catches up.
  Views().miLineHealth->trigger();
  ASSERT_FALSE(Views().Health().isHidden());
  EXPECT_EQ(HealthCell(1, LineHealthModel::kRequests), QStringLiteral("2"));
  EXPECT_EQ(HealthCell(1, LineHealthModel::kAnswers), QStringLiteral("1"));
  // The damaged frame is the line's, in a row of its own: not unit 1's.
  EXPECT_EQ(HealthCell(1, LineHealthModel::kBadFrames), QStringLiteral("0"));
  EXPECT_EQ(HealthCell(QStringLiteral("any"), LineHealthModel::kBadFrames), QStringLiteral("1"));
  EXPECT_EQ(Views().Health().Model().rowCount(), 4);
  EXPECT_EQ(HealthCell(7, LineHealthModel::kNoAnswer), QStringLiteral("2"));
  EXPECT_EQ(HealthCell(9, LineHealthModel::kExceptions), QStringLiteral("1 (code 2: 1)"));
  EXPECT_TRUE(Views().Health().SummaryText().contains(QStringLiteral("Bad frames: 1 of 8")));

  // Shown, it follows new packets.
  Log({Frame({0x07, 0x03, 0x00, 0x00, 0x00, 0x02}), Frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x02})});
  Views().Health().Refresh();
  EXPECT_EQ(HealthCell(7, LineHealthModel::kNoAnswer), QStringLiteral("3"));

  ClickHealthCell(7, LineHealthModel::kNoAnswer);
  EXPECT_FALSE(Window().Analysis().FilterPane().isHidden());
  EXPECT_EQ(FilteredRows(), (std::vector<int>{3, 6, 9}));
  ClickHealthCell(9, LineHealthModel::kExceptions);
  EXPECT_EQ(FilteredRows(), (std::vector<int>{5}));
  ClickHealthCell(QStringLiteral("any"), LineHealthModel::kBadFrames);
  EXPECT_EQ(FilteredRows(), (std::vector<int>{8}));
  ClickHealthCell(1, LineHealthModel::kRequests);
  EXPECT_EQ(FilteredRows(), (std::vector<int>{1, 2, 7, 8, 10}));
  // Row 10 still waits for its answer: not yet unanswered, until the next
  // request tells.
  LogFilterPane& filter = Window().Analysis().FilterPane();
  filter.ShowAll();
  filter.NoAnswerBox()->setChecked(true);
  ASSERT_TRUE(filter.ApplyFilter());
  // Row 7's answer came damaged: unit 1 was not answered either.
  EXPECT_EQ(FilteredRows(), (std::vector<int>{3, 6, 7, 9}));
  EXPECT_EQ(HealthCell(1, LineHealthModel::kNoAnswer), QStringLiteral("1"));
  Log({Frame({0x09, 0x03, 0x00, 0x00, 0x00, 0x02})});
  EXPECT_EQ(FilteredRows(), (std::vector<int>{3, 6, 7, 9, 10}));

  Window().Log().Clear();
  Views().Health().Refresh();
  EXPECT_EQ(Views().Health().Model().rowCount(), 0);
  Log({Frame({0x05, 0x03, 0x00, 0x00, 0x00, 0x02})});
  Views().Health().Refresh();
  EXPECT_EQ(HealthCell(5, LineHealthModel::kRequests), QStringLiteral("1"));
  EXPECT_EQ(HealthCell(1, LineHealthModel::kRequests), QStringLiteral("(no row)"));

  // The time column shows the time of day unless chosen otherwise, and
  // the choice is kept.
  EXPECT_TRUE(Views().miTimeOfDay->isChecked());
  Views().miTimeSincePrevious->trigger();
  Log({Frame({0x05, 0x03, 0x00, 0x00, 0x00, 0x02})});
  EXPECT_EQ(Window().Log().data(Window().Log().index(1, PacketLogModel::kTimeColumn)).toString(),
            QStringLiteral("+0.050000"));

  // Remembered for the user.
  StartProgram();
  EXPECT_TRUE(Views().miTimeSincePrevious->isChecked());
  EXPECT_EQ(Window().Log().TimeColumnShown(), TimeColumn::kSincePrevious);
  EXPECT_FALSE(Views().Health().isHidden());
  EXPECT_TRUE(Views().miLineHealth->isChecked());
  EXPECT_TRUE(reports_.isEmpty());
}

TEST_F(LineViewsTest, Registers_FloatTypeAndNotationKeptForTheUser_PlotFollowsTheValue) {
  StartProgram();
  Views().miRegisters->trigger();
  const Bytes read = Frame({0x01, 0x03, 0x00, 0x64, 0x00, 0x02});
  Log({read, Frame({0x01, 0x03, 0x04, 0x43, 0x66, 0x80, 0x00}), read,
       Frame({0x01, 0x03, 0x04, 0x43, 0x67, 0x80, 0x00})});
  RegisterPane& pane = Views().Registers();
  pane.Refresh();
  RegisterModel& model = pane.Model();
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.ValueText(0), QStringLiteral("17255"));  // 0x4367

  QTableView& table = *pane.Table();
  table.setCurrentIndex(model.index(0, RegisterModel::kValue));
  table.selectionModel()->select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  pane.TypeBox()->setCurrentText(QStringLiteral("Float 32-bit"));
  ASSERT_TRUE(pane.ApplyTypeToSelection());
  EXPECT_EQ(model.ValueText(0), QStringLiteral("231.5"));
  EXPECT_EQ(model.ValueText(1), QStringLiteral("(part of 100)"));
  EXPECT_EQ(StoredForUser(std::string(kProgramKeyPath) + "\\" + LineViews::kRegisterTypesKey, "Unit 1"),
            "holding:100-101:f32:high");
  // 230.5, then 231.5.
  ASSERT_EQ(pane.Plot().Points().size(), 2u);
  EXPECT_EQ(pane.Plot().Points()[1].value, 231.5);

  Views().miAddressesTableDigit->trigger();
  EXPECT_EQ(model.data(model.index(0, RegisterModel::kAddress)).toString(), QStringLiteral("40101"));

  // Save as "CSV with decoded fields" reads values as the pane does.
  const QString path = QString::fromStdString((storeFolder_.Path() / "decoded.csv").string());
  QSignalSpy saved(&Window().SaveCommand(), &LogSaveCommand::finished);
  Window().SaveCommand().SaveTo(path, true);
  ASSERT_TRUE(saved.wait(30'000));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  ASSERT_GE(lines.size(), 5);
  EXPECT_TRUE(lines[4].contains(",Response,40101,2,40101=231.5,,Good frame,3,")) << lines[4].toStdString();

  StartProgram();
  Log({read, Frame({0x01, 0x03, 0x04, 0x43, 0x66, 0x80, 0x00})});
  Views().Registers().Refresh();
  EXPECT_FALSE(Views().Registers().isHidden());
  EXPECT_EQ(Views().Registers().Model().ValueText(0), QStringLiteral("230.5"));
  EXPECT_TRUE(Views().miAddressesTableDigit->isChecked());
  EXPECT_EQ(Views().Registers().Model().data(Views().Registers().Model().index(0, RegisterModel::kAddress)),
            QStringLiteral("40101"));

  // A stored type that cannot be read is named, and the program starts.
  {
    TRegistry store(StoreDirectory());
    store.SetRootKey(RegistryRoot::CurrentUser);
    store.OpenKey(std::string(kProgramKeyPath) + "\\" + LineViews::kRegisterTypesKey, true);
    store.WriteString("Unit 4", "holding:9-1:f99:sideways");
  }
  StartProgram();
  EXPECT_EQ(Views().Registers().Status(), QStringLiteral("Register types of unit 4 could not be read in full"));
  EXPECT_TRUE(reports_.isEmpty());
}

TEST_F(LineViewsTest, RowNumbersOffByDefault_NumberTheVisibleRows_DetailsRowLinksMoveTheGrid) {
  StartProgram();
  EXPECT_FALSE(Views().miRowNumbers->isChecked());
  EXPECT_TRUE(Views().RowNumbers().isHidden());
  LogPolling();
  Views().miRowNumbers->trigger();
  EXPECT_FALSE(Views().RowNumbers().isHidden());
  Window().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
  PacketLogView& grid = Window().LogView();
  const auto numberBeside = [&](int row) {
    const QPoint inGrid(0, grid.rowViewportPosition(row) + grid.RowHeight() / 2);
    return Views().RowNumbers().NumberAt(Views().RowNumbers().mapFrom(&Window(), grid.viewport()->mapTo(&Window(), inGrid)).y());
  };
  EXPECT_EQ(numberBeside(0), 1);
  EXPECT_EQ(numberBeside(7), 8);
  EXPECT_GT(Views().RowNumbers().width(), 0);

  // Row references of the details pane move the grid.
  Window().Analysis().miPacketDetails->trigger();
  grid.setCurrentIndex(Window().Log().index(2, 1));
  EXPECT_TRUE(Window().Analysis().Details().Text().contains(QStringLiteral("none before the next request (row 4)")));
  EXPECT_TRUE(Window().Analysis().Details().FollowLink(QStringLiteral("row:4")));
  EXPECT_EQ(grid.currentIndex().row(), 3);
  EXPECT_FALSE(Window().Analysis().Details().FollowLink(QStringLiteral("row:99")));
  EXPECT_FALSE(Window().Analysis().Details().FollowLink(QStringLiteral("http://example.org/")));
  EXPECT_EQ(grid.currentIndex().row(), 3);
  // The details write addresses as the View menu chose.
  Views().miAddressesOneBased->trigger();
  EXPECT_TRUE(Window().Analysis().Details().Text().contains(QStringLiteral("Starting address:  1 (0x0000)")));

  StartProgram();
  EXPECT_TRUE(Views().miRowNumbers->isChecked());
}

// A request and its answer with their bytes' arrival stamped: the answer's
// first byte came 21.4 ms after the request's last. Between
// this pair and the next, the link was lost and came back.
TEST_F(LineViewsTest, OneTurnaroundInDetailsHealthAndCsv_EventRowsAreNoFrames) {
  StartProgram();
  constexpr PacketTime kCharacter = 1042;  // 10 bits at 9600 baud, rounded
  const Bytes request = Frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x02});
  const Bytes answer = Frame({0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x0B});
  const auto logPair = [&](PacketTime firstByte) {
    const PacketTime requestLast = firstByte + 7 * kCharacter;
    const PacketTime answerFirst = requestLast + 21'400;
    // The answer's bytes handed over in a burst, as a USB adapter does: only
    // their stamps tell its first byte's arrival.
    const PacketTime answerLast = answerFirst + 2000;
    Window().Log().AppendPacket(request.data(), 8, PacketTiming{firstByte, requestLast, requestLast + 4000});
    Window().Log().AppendPacket(answer.data(), 9, PacketTiming{answerFirst, answerLast, answerLast + 4000});
  };
  logPair(at_);
  Window().Log().AppendMark(QStringLiteral("\u2014 Link lost at 9:05:07.031: cable pulled \u2014"), at_ + 100'000);
  Window().Log().AppendMark(QStringLiteral("\u2014 Link back at 9:05:09.000: ttyUSB0 \u2014"), at_ + 200'000);
  logPair(at_ + 300'000);
  Window().Log().AnnouncePackets();

  Window().Analysis().miPacketDetails->trigger();
  PacketLogView& grid = Window().LogView();
  grid.setCurrentIndex(Window().Log().index(1, 1));
  EXPECT_TRUE(Window().Analysis().Details().Text().contains(QStringLiteral("turnaround 21.4 ms")))
      << Window().Analysis().Details().Text().toStdString();
  grid.setCurrentIndex(Window().Log().index(2, 1));
  const QString event = Window().Analysis().Details().Text();
  EXPECT_TRUE(event.contains(QStringLiteral("Event:  Link lost at 9:05:07.031: cable pulled"))) << event.toStdString();
  EXPECT_FALSE(event.contains(QStringLiteral("Too short")));
  EXPECT_FALSE(event.contains(QStringLiteral("0 bytes")));
  // The pair after the gap is paired across nothing but the notes.
  grid.setCurrentIndex(Window().Log().index(5, 1));
  EXPECT_TRUE(Window().Analysis().Details().Text().contains(QStringLiteral("Request:           row 5, turnaround 21.4 ms")))
      << Window().Analysis().Details().Text().toStdString();

  Views().miLineHealth->trigger();
  EXPECT_EQ(HealthCell(1, LineHealthModel::kTurnaroundMin), QStringLiteral("21.4"));
  EXPECT_EQ(HealthCell(1, LineHealthModel::kTurnaroundMax), QStringLiteral("21.4"));
  EXPECT_EQ(HealthCell(1, LineHealthModel::kRequests), QStringLiteral("2"));
  EXPECT_EQ(HealthCell(1, LineHealthModel::kAnswers), QStringLiteral("2"));
  EXPECT_EQ(HealthCell(QStringLiteral("any"), LineHealthModel::kBadFrames), QStringLiteral("(no row)"));
  EXPECT_TRUE(Views().Health().SummaryText().contains(QStringLiteral("Bad frames: 0 of 4")))
      << Views().Health().SummaryText().toStdString();
  EXPECT_EQ(Window().Analysis().Counter().Text().toStdString(), "Frames: 4 good, 0 bad");
  // No filter lists a note, the bad frames' least of all.
  Window().Analysis().FilterPane().ShowBadFrames();
  EXPECT_TRUE(FilteredRows().empty());

  LogWriter writer(Window().Log().TakeSnapshot(), LogFileFormat::kDecodedCsv);
  writer.SetMarks(Window().Log().Marks());
  writer.SetDecoding(Views().Decoding());
  QByteArray csv;
  while (writer.WriteNext(csv)) {
  }
  const QList<QByteArray> lines = csv.split('\n');
  ASSERT_GE(lines.size(), 7) << csv.toStdString();
  EXPECT_TRUE(lines[0].contains("Turnaround ms (answer's first byte less request's last byte)")) << lines[0].toStdString();
  EXPECT_TRUE(lines[2].endsWith(",1,21.4\r")) << lines[2].toStdString();
  EXPECT_TRUE(lines[6].endsWith(",5,21.4\r")) << lines[6].toStdString();
  // The notes keep their rows, with nothing decoded.
  EXPECT_TRUE(lines[3].contains("Link lost at 9:05:07.031") && lines[3].endsWith("\",,,,,,,,,,\r"))
      << lines[3].toStdString();
}

// What the traffic tool sends to show the panes by hand reads as meant: an
// absent unit never answers, a refusing one answers exception 2, and the
// float steps through its values.
TEST(TrafficPlan, AbsentRefusingAndFloatUnitsReadAsMeant) {
  const traffic::PollPlan plan{1, std::uint8_t{7}, std::uint8_t{9}, true};
  modbus::LineStatistics statistics({9600, 10});
  modbus::RegisterWatch watch;
  std::vector<std::string> floats;
  std::int64_t at = 0;
  for (std::uint32_t slot = 0; slot < 6 * 12; ++slot) {
    at += 50'000;
    const std::optional<traffic::Frame> frame = traffic::PlannedFrame(plan, slot);
    if (!frame) continue;
    const modbus::LoggedPacket packet{frame->data(), static_cast<int>(frame->size()), at};
    statistics.Add(packet);
    watch.Add(packet);
    if (slot % 6 == 1) {
      const auto words = watch.Words({1, modbus::Table::kHoldingRegisters, 0}, 2);
      ASSERT_TRUE(words);
      floats.push_back(modbus::FormatValue(modbus::ValueType::kFloat32, modbus::WordOrder::kHighFirst,
                                           words->data()));
    }
  }
  EXPECT_EQ(statistics.Find(1, 3)->answers, 12u);
  EXPECT_EQ(statistics.Find(7, 3)->noAnswer, 12u);
  EXPECT_EQ(statistics.Find(7, 3)->answers, 0u);
  EXPECT_EQ(statistics.Find(9, 3)->exceptions.at(2), 12u);
  EXPECT_EQ(statistics.Summary().badPackets, 0u);
  ASSERT_EQ(floats.size(), 12u);
  EXPECT_EQ(floats[0], "230");
  EXPECT_EQ(floats[9], "234.5");
  EXPECT_EQ(floats[10], "230");
}

}  // namespace
}  // namespace tessaly::test
