// CKOVRA_SDKApp: the one library object of the process. It owns every open port (the port list),
// finds ports by handle, and closes whatever is still open when the process ends.
//
// Locks: the open lock serialises whole open sequences and is always taken before the list lock;
// the list lock guards the port list only (append, remove, lookup, close-all) and is never held
// while a reader reply is awaited or a link is closed.
#pragma once

#include <list>
#include <memory>
#include <mutex>

#include "reader/byte_array.h"
#include "reader/port.h"

namespace kovra {

using PortRef = std::shared_ptr<CKOVRA_Port>;

class CKOVRA_SDKApp {
 public:
  static CKOVRA_SDKApp &Instance();
  ~CKOVRA_SDKApp();

  // The port with this handle, or null. Walks the list from its head; a port passed on the way
  // that has no live link any more is taken off the list, closed and destroyed. The returned
  // reference keeps the port alive while the caller uses it without the list lock.
  PortRef FindPort(int handle);
  void AddPort(PortRef port);
  // Takes the port off the list (does not close it). False if it was not in the list.
  bool RemovePort(const PortRef &port);
  // Stores a code as the port's last error; nothing for an unknown handle.
  void SetLastError(int handle, int code);
  // Looks the port up and runs one command on it; false for an unknown handle.
  bool SendCommand(int handle, uint8_t code, const CMyByteArray &data, CMyByteArray &reply);
  // Closes and destroys every port (process end).
  void CloseAllPorts();

  std::mutex &OpenLock() { return open_lock_; }
  size_t PortCount();

 private:
  CKOVRA_SDKApp() = default;

  std::list<PortRef> ports_;  // in the order the ports were opened
  std::mutex list_lock_;
  std::mutex open_lock_;
};

}  // namespace kovra
