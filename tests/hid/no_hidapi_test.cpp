// The library on a machine without hidapi: run with KOVRA_HIDAPI_LIBRARY naming a file that does
// not exist. Serial readers work; HID readers are simply missing.
#include <gtest/gtest.h>

#include <string>

#include "kovra.h"
#include "sim/pty_server.h"
#include "sim/reader.h"

namespace {

TEST(WithoutHidapi, SerialReadersWorkAndHidReadersAreMissing) {
  char list[64];
  EXPECT_EQ(KOVRA_ListUsbPorts(list, sizeof list), 1);
  EXPECT_EQ(KOVRA_OpenPort("3105-0000001 HID", 19200, 200), KOVRA_OPEN_FAILED);
  EXPECT_EQ(KOVRA_GetLinkFailure(), KOVRA_LINK_NOT_SUPPORTED);

  kovra_sim::SimReaderConfig config;
  config.version = "1234";
  kovra_sim::SimReader reader(config);
  kovra_sim::PtyServer server(reader);
  ASSERT_TRUE(server.Start());
  const int handle = KOVRA_OpenPort(server.Path().c_str(), 19200, 500);
  EXPECT_GT(handle, 0);
  EXPECT_EQ(KOVRA_ClosePort(handle), 0);
}

}  // namespace
