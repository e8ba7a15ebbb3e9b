// The kovra-sim program as a person or a script uses it: started with a family, opened by the
// library over the pseudo-terminal it prints, steered through its control socket.
#include <gtest/gtest.h>

#include <string>

#include "kovra.h"
#include "support/sim_process.h"

namespace {

TEST(SimProgramE2E, ServesAFamily2ReaderAndAnswersItsControlSocket) {
  kovra_test::SimProcess sim(KOVRA_SIM_PATH, {"--family", "2"});
  ASSERT_FALSE(sim.pty().empty()) << "kovra-sim printed no pty line";
  const int handle = KOVRA_OpenPort(sim.pty().c_str(), 19200, 500);
  ASSERT_GT(handle, 0);
  unsigned char version[4];
  EXPECT_EQ(KOVRA_GetVersion(handle, version, sizeof version), 4);
  EXPECT_EQ(version[0], '1');

  EXPECT_EQ(sim.Control("place classic1k uid=A1B2C3D4").rfind("ok", 0), 0u);
  unsigned char uid[8];
  unsigned char sak = 0;
  EXPECT_EQ(KOVRA_SetRfField(handle, 1), 0);
  EXPECT_EQ(KOVRA_Select(handle, uid, sizeof uid, &sak), 4);
  EXPECT_EQ(sak, 0x08);
  const std::string state = sim.Control("state");
  EXPECT_NE(state.find("A1B2C3D4"), std::string::npos) << state;
  EXPECT_EQ(sim.Control("no-such-command").rfind("error:", 0), 0u);

  EXPECT_EQ(KOVRA_ClosePort(handle), 0);
  EXPECT_EQ(sim.Control("quit").rfind("ok", 0), 0u);
  EXPECT_EQ(sim.Wait(), 0);
}

}  // namespace
