// Network readers' settings through their configuration service.
#include "api/lan_config.h"

#include <chrono>
#include <memory>
#include <thread>

#include "reader/handle_pool.h"
#include "reader/sdk_app.h"
#include "transport/lan_config/lan_config_connection.h"
#include "transport/lan_config/lan_record.h"
#include "transport/lan_config/lan_settings.h"

namespace kovra {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kPingInterval{100};
constexpr milliseconds kReachableAgainWithin{5000};
constexpr milliseconds kReopenInterval{100};
constexpr int kReopenAttempts = 21;
constexpr milliseconds kRecordWriteRetryAfter{500};
constexpr int kRecordWriteRetries = 5;

std::string BeforeColon(const std::string &name) {
  return name.substr(0, name.find(':'));
}

LanConfigConnection *ConnectionOf(const PortRef &port) {
  return port ? dynamic_cast<LanConfigConnection *>(port->GetTransport()) : nullptr;
}

// Polls until the reader answers under `name` again, or the time is up (which is no error: the
// reopen that follows finds out).
void WaitUntilReachable(const std::string &name) {
  const auto start = Clock::now();
  while (Clock::now() - start < kReachableAgainWithin) {
    if (PingLan(name) == 1) return;
    std::this_thread::sleep_for(kPingInterval);
  }
}

// Opens a configuration connection, trying kReopenAttempts times kReopenInterval apart. Result:
// the handle or the last failed open's result.
int ReopenConfigConnection(const std::string &name) {
  int handle = -1;
  for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
    handle = OpenConfigConnection(name);
    if (handle > 0) return handle;
    std::this_thread::sleep_for(kReopenInterval);
  }
  return handle;
}

bool WriteSetupRecord(lan::LanConfigLink &link, const lan::Bytes &record) {
  for (int attempt = 0; attempt <= kRecordWriteRetries; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(kRecordWriteRetryAfter);
    if (link.SetRecord(0, record)) return true;
  }
  return false;
}

// Writes what the address assignment did not set through the records. False when the setup
// record could not be written.
bool WriteOtherSettings(lan::LanConfigLink &link, const lan::Bytes &record,
                        const lan::SettingsChange &change) {
  if (!change.spec.name.empty()) {
    lan::Bytes record3;
    if (link.GetRecord(3, record3, true)) {
      if (auto patched = lan::PatchedNameRecord(record3, change)) link.SetRecord(3, *patched);
    }
  }
  return WriteSetupRecord(link, lan::PatchedSetupRecord(record, change));
}

}  // namespace

int OpenConfigConnection(const std::string &name) {
  auto connection = LanConfigConnection::Open(BeforeColon(name));
  if (!connection) return -1;
  auto port = std::make_shared<CKOVRA_Port>();
  port->AttachTransport(std::move(connection), HandlePool::Lan());
  const int handle = port->Handle();
  CKOVRA_SDKApp::Instance().AddPort(std::move(port));
  return handle;
}

ConfigPort ConfigPortOf(int handle) {
  ConfigPort found{CKOVRA_SDKApp::Instance().FindPort(handle)};
  if (LanConfigConnection *connection = ConnectionOf(found.port)) found.link = &connection->Link();
  return found;
}

bool CloseConfigConnection(int handle, bool send_end) {
  auto &app = CKOVRA_SDKApp::Instance();
  PortRef port = app.FindPort(handle);
  LanConfigConnection *connection = ConnectionOf(port);
  if (connection == nullptr) return false;
  if (send_end) connection->Link().SendCloseCommand();
  app.RemovePort(port);
  port->CloseTransport();
  return true;
}

std::vector<std::string> SearchLan(bool filter) {
  lan::LanConfigLink link;
  std::vector<std::string> entries;
  link.SearchAllAdapters(entries, lan::kSearchWindow, filter);
  return entries;
}

int PingLan(const std::string &address) {
  lan::LanConfigLink link;
  return link.OpenConfigLink(BeforeColon(address)) ? 1 : 0;
}

LanSettingsTexts SettingsTexts(const lan::Bytes &setup_record) {
  LanSettingsTexts texts;
  const std::string port = "-" + std::to_string(lan::TcpPort(setup_record));
  const lan::Ipv4 address = lan::ConfiguredAddress(setup_record);
  if (address != lan::kAnyAddress) texts.address = lan::Dotted(address) + port;
  texts.name = lan::ReaderIdentity(setup_record) + port;
  texts.mask = lan::Dotted(lan::MaskFromHostBits(lan::HostBits(setup_record)));
  texts.gateway = lan::Dotted(lan::Gateway(setup_record));
  return texts;
}

int GetLanConfig(const std::string &address, LanSettingsTexts &texts) {
  const int handle = OpenConfigConnection(address);
  if (handle < 0) return handle;
  lan::Bytes record;
  const ConfigPort config = ConfigPortOf(handle);
  const bool read = config.link != nullptr && config.link->GetRecord(0, record, true);
  CloseConfigConnection(handle, false);
  if (!read || record.size() < lan::kRecordReplySize) return -1;
  texts = SettingsTexts(record);
  return 0;
}

int SetLanConfig(const std::string &address, const std::string &new_address,
                 const std::string &mask, const std::string &gateway) {
  // Arguments that do not parse change nothing: a typing error must not become a setting.
  const auto change = lan::ParseSettingsChange(new_address, mask, gateway);
  if (!change) return -1;
  int handle = OpenConfigConnection(address);
  if (handle < 0) return handle;

  int result = 0;
  lan::Bytes record;
  ConfigPort config = ConfigPortOf(handle);
  lan::LanConfigLink *link = config.link;
  if (link == nullptr || !link->GetRecord(0, record, true)) {
    CloseConfigConnection(handle, true);
    return -1;
  }
  const bool address_changes = lan::AddressChanges(record, *change);
  bool others_pending = lan::OtherSettingsChange(record, *change);
  if (!address_changes && !others_pending) {
    CloseConfigConnection(handle, true);
    return 0;
  }

  lan::Bytes identify;
  if (link->QueryIdentify(identify)) {
    // Whether an assignment arrived shows when the reader answers at its new address.
    if (lan::TakesExtendedAssignment(identify) && others_pending) {
      link->SendIpSetup(
          lan::ExtendedAddressAssignment(lan::ExtendedFor(identify, record, *change)));
      others_pending = false;
    } else {
      link->SendIpSetup(
          lan::SimpleAddressAssignment(lan::IdentifierTail(identify), change->spec.address));
    }
    CloseConfigConnection(handle, false);
    handle = 0;
    const std::string reopen = lan::ReopenName(record, *change, !others_pending);
    WaitUntilReachable(reopen);
    if (others_pending) {
      handle = ReopenConfigConnection(reopen);
      if (handle < 0) return handle;
      config = ConfigPortOf(handle);
      link = config.link;
    }
  } else if (address_changes && !others_pending) {
    // Without identify no address assignment can be sent, and nothing else carries the new
    // address to the reader: the change asked for was not made.
    result = -1;
  }

  if (others_pending && (link == nullptr || !WriteOtherSettings(*link, record, *change))) {
    result = -1;
  }
  if (handle > 0) CloseConfigConnection(handle, true);
  return result;
}

}  // namespace kovra
