// CKOVRA_SDKApp: the one library object of the process.
#include "reader/sdk_app.h"

#include <vector>

namespace kovra {

CKOVRA_SDKApp &CKOVRA_SDKApp::Instance() {
  // Constructed on first use and destroyed at process end, when it closes the ports left open.
  static CKOVRA_SDKApp app;
  return app;
}

CKOVRA_SDKApp::~CKOVRA_SDKApp() {
  CloseAllPorts();
}

PortRef CKOVRA_SDKApp::FindPort(int handle) {
  // Dead ports are closed after the list lock is released: closing a link joins its thread,
  // which must never hold up every other call that looks a port up.
  std::vector<PortRef> dead;
  PortRef found;
  {
    std::lock_guard<std::mutex> lock(list_lock_);
    for (auto it = ports_.begin(); it != ports_.end();) {
      const int current = (*it)->Handle();
      if (handle != 0 && current == handle) {
        found = *it;
        break;
      }
      if (current == 0) {
        dead.push_back(std::move(*it));
        it = ports_.erase(it);
        continue;
      }
      ++it;
    }
  }
  // The last reference goes here unless a caller still works on the port.
  for (const PortRef &port : dead) port->CloseTransport();
  return found;
}

void CKOVRA_SDKApp::AddPort(PortRef port) {
  std::lock_guard<std::mutex> lock(list_lock_);
  ports_.push_back(std::move(port));
}

bool CKOVRA_SDKApp::RemovePort(const PortRef &port) {
  std::lock_guard<std::mutex> lock(list_lock_);
  for (auto it = ports_.begin(); it != ports_.end(); ++it) {
    if (*it == port) {
      ports_.erase(it);
      return true;
    }
  }
  return false;
}

void CKOVRA_SDKApp::SetLastError(int handle, int code) {
  if (PortRef port = FindPort(handle)) port->SetLastError(code);
}

bool CKOVRA_SDKApp::SendCommand(int handle, uint8_t code, const CMyByteArray &data,
                                CMyByteArray &reply) {
  PortRef port = FindPort(handle);
  return port && port->Command(code, data, reply);
}

void CKOVRA_SDKApp::CloseAllPorts() {
  std::list<PortRef> closing;
  {
    std::lock_guard<std::mutex> lock(list_lock_);
    closing.swap(ports_);
  }
  for (const PortRef &port : closing) port->CloseTransport();
}

size_t CKOVRA_SDKApp::PortCount() {
  std::lock_guard<std::mutex> lock(list_lock_);
  return ports_.size();
}

}  // namespace kovra
