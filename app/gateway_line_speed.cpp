#include "app/gateway_line_speed.h"

#include "presentation/error_report.h"
#include "session/capture_session.h"
#include "settings/program_key.h"
#include "settings/registry.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>
#include <QStringList>

namespace tessaly {
namespace {

constexpr int kFastestLine = 4'000'000;

const QStringList& SpeedChoices() {
  static const QStringList choices{QStringLiteral("Unknown"), QStringLiteral("1200"),  QStringLiteral("2400"),
                                   QStringLiteral("4800"),    QStringLiteral("9600"),  QStringLiteral("19200"),
                                   QStringLiteral("38400"),   QStringLiteral("57600"), QStringLiteral("115200")};
  return choices;
}

}  // namespace

QString LineSpeedText(std::optional<int> bitsPerSecond) {
  return bitsPerSecond ? QString::number(*bitsPerSecond) : QStringLiteral("Unknown");
}

std::optional<int> LineSpeedFromText(const QString& text) {
  bool ok = false;
  const int rate = text.trimmed().toInt(&ok);
  if (!ok || rate <= 0 || rate > kFastestLine) return std::nullopt;
  return rate;
}

GatewayLineSpeed::GatewayLineSpeed(QMenu& options, QAction* after, CaptureSession& session,
                                   std::filesystem::path storeDirectory, QWidget& window)
    : QObject(&window), session_(session), storeDirectory_(std::move(storeDirectory)), window_(window) {
  item_ = new QAction(QStringLiteral("&Gateway line speed\u2026"), &options);
  item_->setObjectName(QStringLiteral("miGatewayLineSpeed"));
  QAction* before = nullptr;
  const QList<QAction*> actions = options.actions();
  const qsizetype at = actions.indexOf(after);
  if (at >= 0 && at + 1 < actions.size()) before = actions.at(at + 1);
  options.insertAction(before, item_);
  connect(item_, &QAction::triggered, this, [this] { RunReportingErrors([this] { Choose(); }); });
  session_.SetGatewayLineSpeed(Stored());
}

void GatewayLineSpeed::SetSecondLine(CaptureSession& session, std::function<QStringList()> namesWhileOn) {
  secondSession_ = &session;
  namesWhileOn_ = std::move(namesWhileOn);
  secondSession_->SetGatewayLineSpeed(Stored(1));
}

QString GatewayLineSpeed::Question(const QStringList& names, int line) {
  if (names.size() < 2) {
    return QStringLiteral("Bits per second on the serial line behind the gateway (for character times and silences):");
  }
  return QStringLiteral("Bits per second on the serial line behind the gateway of line %1 (the %2 line), "
                        "for its character times and silences:")
      .arg(names.value(line), line == 0 ? QStringLiteral("first") : QStringLiteral("second"));
}

std::optional<int> GatewayLineSpeed::Stored(int line) const {
  const char* value = line == 0 ? kStoredValue : kSecondStoredValue;
  try {
    TRegistry store(storeDirectory_);
    store.SetRootKey(RegistryRoot::CurrentUser);
    if (!store.OpenKey(kProgramKeyPath, false) || !store.ValueExists(value)) return std::nullopt;
    const int rate = store.ReadInteger(value);
    if (rate <= 0 || rate > kFastestLine) return std::nullopt;
    return rate;
  } catch (const ERegistryException&) {
    return std::nullopt;
  }
}

void GatewayLineSpeed::Store(int line, std::optional<int> bitsPerSecond) const {
  TRegistry store(storeDirectory_);
  store.SetRootKey(RegistryRoot::CurrentUser);
  store.OpenKey(kProgramKeyPath, true);
  store.WriteInteger(line == 0 ? kStoredValue : kSecondStoredValue, bitsPerSecond.value_or(0));
}

void GatewayLineSpeed::Choose() {
  const QStringList names = secondSession_ != nullptr && namesWhileOn_ ? namesWhileOn_() : QStringList();
  if (names.size() < 2) {
    ChooseFor(0, names);
    return;
  }
  const QStringList lines{QStringLiteral("%1 (the first line)").arg(names[0]),
                          QStringLiteral("%1 (the second line)").arg(names[1])};
  bool chosen = false;
  const QString line = QInputDialog::getItem(&window_, QStringLiteral("Gateway line speed"),
                                             QStringLiteral("Each line has its own. Set the speed of:"), lines, 0,
                                             false, &chosen);
  if (chosen) ChooseFor(static_cast<int>(lines.indexOf(line)), names);
}

void GatewayLineSpeed::ChooseFor(int line, const QStringList& names) {
  CaptureSession& session = SessionOf(line);
  const QString current = LineSpeedText(session.GatewayLineSpeed());
  const qsizetype shown = SpeedChoices().indexOf(current);
  QStringList choices = SpeedChoices();
  if (shown < 0) choices << current;
  bool chosen = false;
  const QString text = QInputDialog::getItem(
      &window_, QStringLiteral("Gateway line speed"), Question(names, line), choices, shown >= 0 ? static_cast<int>(shown) : static_cast<int>(choices.size() - 1), true, &chosen);
  if (!chosen) return;
  const std::optional<int> rate = LineSpeedFromText(text);
  if (!rate && text.trimmed().compare(QStringLiteral("Unknown"), Qt::CaseInsensitive) != 0) {
    ShowErrorReport(QStringLiteral("Not a line speed: %1").arg(text.left(40)),
                    QStringLiteral("Give a whole number of bits per second from 1 to 4000000, or Unknown."));
    return;
  }
  session.SetGatewayLineSpeed(rate);
  Store(line, rate);
}

}  // namespace tessaly
