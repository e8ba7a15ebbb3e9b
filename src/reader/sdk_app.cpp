#include "reader/sdk_app.h"

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
  std::lock_guard<std::mutex> lock(list_lock_);
  for (auto it = ports_.begin(); it != ports_.end();) {
    const int current = (*it)->Handle();
    if (handle != 0 && current == handle) return *it;
    if (current == 0) {
      (*it)->CloseTransport();
      it = ports_.erase(it);  // the last reference goes unless a caller still works on it
      continue;
    }
    ++it;
  }
  return nullptr;
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
  std::lock_guard<std::mutex> lock(list_lock_);
  while (!ports_.empty()) {
    ports_.front()->CloseTransport();
    ports_.pop_front();
  }
}

size_t CKOVRA_SDKApp::PortCount() {
  std::lock_guard<std::mutex> lock(list_lock_);
  return ports_.size();
}

}  // namespace kovra
