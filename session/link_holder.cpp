#include "session/link_holder.h"

#include "settings/program_key.h"
#include "settings/registry.h"

namespace tessaly {
namespace {

// Emits the link holder's state signal when it leaves scope, also when the
// work inside fails, so the window never shows a stale link state.
class LinkStateNotice {
 public:
  explicit LinkStateNotice(Data& data) : data_(data) {}
  ~LinkStateNotice() { emit data_.linkStateChanged(); }
  LinkStateNotice(const LinkStateNotice&) = delete;
  LinkStateNotice& operator=(const LinkStateNotice&) = delete;

 private:
  Data& data_;
};

}  // namespace

Data::Data(std::filesystem::path storeDirectory, QObject* parent) : Data(std::move(storeDirectory), QString(), parent) {}

Data::Data(std::filesystem::path storeDirectory, const QString& lineSuffix, QObject* parent)
    : QObject(parent),
      storeDirectory_(std::move(storeDirectory)),
      addressValue_("Remote_IP" + lineSuffix.toStdString()),
      portValue_("Remote_Port" + lineSuffix.toStdString()) {
  setObjectName(QStringLiteral("Data") + lineSuffix);

  // The built-in serial settings: 4800 baud 8N1, no handshaking, DTR and RTS
  // off; a read ends 10 ms after the line falls quiet, or after one second.
  // The port's name is the key its values are stored under.
  comPort_.setObjectName(QStringLiteral("ComPort") + lineSuffix);
  comPort_.SetStoreDirectory(storeDirectory_);
  comPort_.SetPort(QStringLiteral("COM1"));
  comPort_.SetBaudRate(TBaudRate::br4800);
  comPort_.SetDataBits(TDataBits::dbEight);
  comPort_.SetStopBits(TStopBits::sbOneStopBit);
  comPort_.Parity().SetBits(TParityBits::prNone);
  comPort_.FlowControl().SetFlowControlKind(TFlowControl::fcNone);
  comPort_.Timeouts().SetReadInterval(10);
  comPort_.Timeouts().SetReadTotalConstant(1000);
  comPort_.OnAfterOpen = [this](TCustomComPort& sender) { ComPortAfterOpen(sender); };

  socket_.setObjectName(QStringLiteral("Socket") + lineSuffix);
  socket_.SetAddress(QStringLiteral("192.168.0.248"));
  socket_.SetPort(4001);
  socket_.SetClientType(TClientType::ctNonBlocking);
  socket_.OnConnect = [this](TCustomSocket& sender, TCustomWinSocket& socket) {
    SocketConnect(sender, socket);
  };
  socket_.OnDisconnect = [this](TCustomSocket&, TCustomWinSocket&) { emit linkStateChanged(); };
}

Data::~Data() = default;

void Data::DataModuleCreate() {
  try {
    comPort_.RestoreSettings(TStoreType::skRegistry, QString::fromLatin1(kSettingsLocation));
  } catch (const std::exception&) {
    // A first run, or a damaged value: the settings read before it stay.
  }

  TRegistry store(storeDirectory_);
  store.SetRootKey(RegistryRoot::LocalMachine);
  store.OpenKey(kProgramKeyPath, true);
  try {
    socket_.SetAddress(QString::fromStdString(store.ReadString(addressValue_)));
    if (store.ValueExists(portValue_)) {
      socket_.SetPort(store.ReadInteger(portValue_));
    } else {
      socket_.SetPort(502);
    }
  } catch (const std::exception&) {
    // A value of the wrong type: what was set before it stays.
  }
}

void Data::ComPortAfterOpen(TCustomComPort& sender) {
  try {
    sender.SaveSettings(TStoreType::skRegistry, QString::fromLatin1(kSettingsLocation));
  } catch (const std::exception&) {
    // The port is open and working; its settings are simply not remembered.
  }
}

void Data::SocketConnect(TCustomSocket& sender, TCustomWinSocket&) {
  LinkStateNotice notice(*this);
  TRegistry store(storeDirectory_);
  store.SetRootKey(RegistryRoot::LocalMachine);
  // Address and port belong together: one rewrite of the store.
  store.BeginWrites();
  store.OpenKey(kProgramKeyPath, true);
  store.WriteString(addressValue_, sender.Address().toStdString());
  store.WriteInteger(portValue_, sender.Port());
  store.CommitWrites();
}

}  // namespace tessaly
