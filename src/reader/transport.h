// The seam between a reader port and the link beneath it. Frames know nothing of links and
// transports know nothing of frames: a transport moves bytes, the port (port.h) frames commands,
// waits for complete replies and checks them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kovra {

// Where a pushed transport delivers what it receives. Called from the transport's own thread;
// the port appends the bytes under its receive lock and wakes a waiting command. A call with no
// bytes and a null buffer only wakes the command: the transport's link closed itself.
class ReceiveSink {
 public:
  virtual void OnBytesReceived(const uint8_t *bytes, size_t count) = 0;

 protected:
  ~ReceiveSink() = default;
};

// How long a command on a CommandLink may take, and what it calls while it waits.
struct CommandWait {
  unsigned timeout_ms = 0;
  // Called at least every 10 ms while the command waits (the application's wait handler); may be
  // empty.
  std::function<void()> tick;
};

// A link that answers the reader's commands itself instead of carrying the maker's frames: a
// PC/SC reader activates the card and exchanges ISO 7816-4 commands with it, so the port hands it
// each command (code and data, as it would frame them) and takes the answer back.
class CommandLink {
 public:
  // Runs one reader command and leaves its answer's data in `reply`. Never waits longer than
  // `wait.timeout_ms` (plus what one tick takes). Result: KOVRA_ERR_NONE, or the error code the
  // port stores as its last error (the same codes a maker's reader gives for the same failure).
  virtual int RunCommand(uint8_t code, const uint8_t *data, size_t count,
                         std::vector<uint8_t> &reply, const CommandWait &wait) = 0;

 protected:
  ~CommandLink() = default;
};

// One link below a port. Each operation is called by the port on the thread that runs the
// command, except that a pushed transport calls its ReceiveSink from a thread of its own.
class Transport {
 public:
  virtual ~Transport() = default;

  // True while the link is open; false once it is closed, or once it dropped in a way that ends
  // the port (a HID or network reader that went away). A port whose link is no longer open loses
  // its handle and is removed by the next lookup that walks past it. May be called from any
  // thread.
  virtual bool IsOpen() const = 0;

  // True while bytes can still reach the device; false once the device went away although the
  // link keeps its handle (an unplugged serial adapter: its commands time out until the port is
  // closed and opened again). May be called from any thread.
  virtual bool LinkUp() const { return IsOpen(); }

  // Sends one whole frame. Never blocks for long; the result is not looked at because a lost
  // frame shows up as a missing reply.
  virtual void Write(const uint8_t *bytes, size_t count) = 0;

  // Polled transports (HID, the Bluetooth adapter) have no thread of their own: the waiting loop
  // calls Read, which must not block and returns the number of bytes read, 0 when nothing waits.
  virtual bool IsPolled() const { return false; }
  virtual size_t Read(uint8_t * /*buffer*/, size_t /*max*/) { return 0; }

  // HID only: pending input is read and thrown away before each send.
  virtual bool DrainsBeforeSend() const { return false; }

  // True for links over USB drivers of their own (HID, the FTDI D2XX library), false for serial
  // ports, virtual COM ports, LAN and the Bluetooth adapter.
  virtual bool IsUsbDevice() const { return false; }

  // The link's own command handling when it has one (see CommandLink); the port then neither
  // frames nor writes nor reads bytes. Null for the links that carry the maker's frames.
  virtual CommandLink *Commands() { return nullptr; }

  // Releases the link; afterwards IsOpen() is false. Safe to call more than once.
  virtual void Close() = 0;
};

}  // namespace kovra
