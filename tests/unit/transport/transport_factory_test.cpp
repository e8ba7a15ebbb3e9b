// The factory picks the transport by the port name and tells the port which pool names it.
#include "transport/transport_factory.h"

#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

namespace kovra {
namespace {

class NullSink final : public ReceiveSink {
 public:
  void OnBytesReceived(const uint8_t *, size_t) override {}
};

TEST(TransportFactory, ASerialDeviceOpensTheSerialTransportNumberedFromTheSerialPool) {
  int master = -1;
  int slave = -1;
  char path[128] = {};
  ASSERT_EQ(::openpty(&master, &slave, path, nullptr, nullptr), 0);
  NullSink sink;
  OpenedTransport opened = OpenTransport({path, 1}, 19200, sink);
  ASSERT_NE(opened.transport, nullptr);
  EXPECT_TRUE(opened.transport->IsOpen());
  EXPECT_EQ(opened.handles, &HandlePool::Serial());
  opened.transport->Close();
  ::close(slave);
  ::close(master);
}

TEST(TransportFactory, NamesWithoutAnOpenableTransportGiveNothing) {
  NullSink sink;
  // (Network names connect to a reader; they are tested inside network namespaces.)
  for (const char *name :
       {"HID#1", "BT reader", "BTW reader", "/dev/null", "/dev/kovra-no-such-device", "AB12CD34"}) {
    const OpenedTransport opened = OpenTransport({name, 1}, 19200, sink);
    EXPECT_EQ(opened.transport, nullptr) << name;
    EXPECT_EQ(opened.handles, nullptr) << name;
  }
}

}  // namespace
}  // namespace kovra
