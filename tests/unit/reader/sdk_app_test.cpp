// The port registry: lookup by handle, the stale-port cleanup, last errors through the C API.
#include "reader/sdk_app.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kovra.h"
#include "sim/reader.h"
#include "support/sim_transport.h"

namespace kovra {
namespace {

using kovra_sim::SimReader;
using kovra_test::MakeSimPort;
using kovra_test::RemoveSimPort;
using kovra_test::SimPortOptions;
using kovra_test::SimTransportOf;

SimPortOptions Registered(bool serial_handle = false) {
  SimPortOptions options;
  options.add_to_app = true;
  options.serial_handle = serial_handle;
  options.timeout_ms = 30;
  return options;
}

TEST(PortRegistry, SerialPortsTakeTheSmallestFreeHandle) {
  SimReader reader_a, reader_b, reader_c;
  auto first = MakeSimPort(reader_a, 0, Registered(true));
  auto second = MakeSimPort(reader_b, 0, Registered(true));
  EXPECT_EQ(first->Handle(), 1);
  EXPECT_EQ(second->Handle(), 2);
  RemoveSimPort(first);
  auto third = MakeSimPort(reader_c, 0, Registered(true));
  EXPECT_EQ(third->Handle(), 1);
  RemoveSimPort(second);
  RemoveSimPort(third);
}

TEST(PortRegistry, UnknownHandlesReadAsError3AndFailWithoutStoringAnything) {
  SimReader reader;
  auto port = MakeSimPort(reader, 0, Registered());
  port->SetLastError(21);
  for (int handle : {0, -1, 77, port->Handle() + 1}) {
    EXPECT_EQ(KOVRA_GetLastError(handle), KOVRA_ERR_PORT_INVALID) << handle;
    EXPECT_EQ(KOVRA_SetBackgroundMode(handle, 1), -1);
    CMyByteArray reply;
    EXPECT_FALSE(CKOVRA_SDKApp::Instance().SendCommand(handle, 0xF0, {}, reply));
    CKOVRA_SDKApp::Instance().SetLastError(handle, 9);
  }
  EXPECT_EQ(KOVRA_GetLastError(port->Handle()), 21);  // untouched by the calls above
  EXPECT_EQ(KOVRA_SetBackgroundMode(port->Handle(), 1), 1);
  EXPECT_TRUE(port->BackgroundMode());
  RemoveSimPort(port);
}

TEST(PortRegistry, ErrorsOfAFailedCallStayReadableUntilTheNextCommand) {
  SimReader reader;
  auto port = MakeSimPort(reader, 0, Registered());
  reader.SetSilent(true);
  CMyByteArray reply;
  EXPECT_FALSE(CKOVRA_SDKApp::Instance().SendCommand(port->Handle(), 0xF0, {}, reply));
  EXPECT_EQ(KOVRA_GetLastError(port->Handle()), KOVRA_ERR_TIMEOUT);
  char text[16] = {};
  EXPECT_EQ(KOVRA_GetErrorText(port->Handle(), KOVRA_LANG_ENGLISH, text, sizeof text), 7);
  EXPECT_STREQ(text, "Timeout");
  reader.SetSilent(false);
  EXPECT_TRUE(CKOVRA_SDKApp::Instance().SendCommand(port->Handle(), 0xF0, {}, reply));
  EXPECT_EQ(KOVRA_GetLastError(port->Handle()), KOVRA_ERR_NONE);
  RemoveSimPort(port);
}

// A port whose link is gone is removed by the next lookup that walks past it: one for a handle
// behind it, or one for a handle that is not open. A serial line whose adapter was pulled stays
// open until it is closed, so its port keeps its handle. A removed port's number is free again.
TEST(PortRegistry, LookupRemovesPortsWithoutALiveLink) {
  auto &app = CKOVRA_SDKApp::Instance();
  const size_t before = app.PortCount();
  SimReader reader_a, reader_b, reader_c, reader_d;
  auto serial = MakeSimPort(reader_b, 0, Registered(true));
  auto stale = MakeSimPort(reader_a, 0, Registered());
  auto live = MakeSimPort(reader_c, 0, Registered());
  const int serial_handle = serial->Handle();
  const int stale_handle = stale->Handle();

  SimTransportOf(*stale)->SetLinkGone();
  EXPECT_EQ(stale->Handle(), 0);
  SimTransportOf(*serial)->SetLinkDropped(true);   // unplugged, but still named by its handle
  EXPECT_EQ(app.FindPort(serial_handle), serial);  // found before the walk reaches the stale one
  EXPECT_EQ(app.PortCount(), before + 3);

  EXPECT_EQ(app.FindPort(live->Handle()), live);  // walks past the stale port
  EXPECT_EQ(app.PortCount(), before + 2);
  EXPECT_EQ(app.FindPort(stale_handle), nullptr);
  EXPECT_EQ(app.FindPort(serial_handle), serial);
  auto successor = MakeSimPort(reader_d, 0, Registered());
  EXPECT_EQ(successor->Handle(), stale_handle);  // the smallest free number again

  SimTransportOf(*live)->SetLinkGone();
  EXPECT_EQ(app.FindPort(424242), nullptr);  // a lookup that finds nothing cleans up too
  EXPECT_EQ(app.PortCount(), before + 2);
  RemoveSimPort(serial);
  RemoveSimPort(successor);
  EXPECT_EQ(app.PortCount(), before);
}

// A port closed while another thread runs commands on it stays alive until that call ends; the
// handle and the link are given up without a race (a sanitizer build checks the latter).
TEST(PortRegistry, ClosingAPortWhileAnotherThreadUsesIt) {
  SimReader reader;
  auto port = MakeSimPort(reader, 0, Registered(true));
  const int handle = port->Handle();
  std::atomic<int> answered{0};
  std::atomic<bool> stop{false};
  std::thread user([&] {
    while (!stop.load()) {
      unsigned char version[8];
      if (KOVRA_GetVersion(handle, version, sizeof version) == 4) ++answered;
    }
  });
  while (answered.load() < 3) std::this_thread::yield();
  EXPECT_EQ(KOVRA_ClosePort(handle), 0);
  stop.store(true);
  user.join();
  EXPECT_EQ(port->Handle(), 0);
  EXPECT_EQ(KOVRA_GetLastError(handle), KOVRA_ERR_PORT_INVALID);
}

TEST(PortRegistry, CloseAllClosesEveryLink) {
  auto &app = CKOVRA_SDKApp::Instance();
  SimReader reader_a, reader_b;
  auto a = MakeSimPort(reader_a, 0, Registered(true));
  auto b = MakeSimPort(reader_b, 0, Registered());
  const int serial_handle = a->Handle();
  app.CloseAllPorts();
  EXPECT_EQ(app.PortCount(), 0u);
  EXPECT_FALSE(SimTransportOf(*b)->IsOpen());
  EXPECT_EQ(b->Handle(), 0);
  EXPECT_EQ(a->Handle(), 0);
  EXPECT_EQ(KOVRA_GetLastError(serial_handle), KOVRA_ERR_PORT_INVALID);
}

}  // namespace
}  // namespace kovra
