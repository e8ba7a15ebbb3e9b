// What an open reader says about itself, asked through the library as the window asks it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "kovra.h"
#include "sim/bt_module.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "writer/reader/reader_identity.h"

namespace {

// A Bluetooth adapter's port is handed out before its search has found the reader, so the first
// version queries time out; the reader still answers once the link is up, within the search's
// bound, and is taken for what it is.
TEST(ReaderIdentity, ABluetoothReaderIsIdentifiedOnceItsSearchEnds) {
  kovra_sim::SimReader reader;
  kovra_sim::BtModuleConfig config;
  config.link_delay = std::chrono::milliseconds(700);  // longer than the port's timeout
  kovra_sim::BtModule module(reader, config);
  kovra_sim::PtyServer server(module);
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;

  const int handle = KOVRA_OpenPort((server.Path() + " BT").c_str(), 19200, 150);
  ASSERT_GT(handle, 0);
  const quillmate::ReaderIdentity identity = quillmate::IdentifyReader(handle);
  EXPECT_TRUE(identity.answered);
  EXPECT_TRUE(module.LinkUp());
  EXPECT_EQ(identity.version.size(), 4);
  EXPECT_TRUE(identity.capable);
  KOVRA_ClosePort(handle);
}

}  // namespace
