// The kovra-sim program as a person or a script uses it: started with a family, opened by the
// library over the pseudo-terminal it prints, steered through its control socket; started as a
// network reader in a network namespace of the test's own.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "kovra.h"
#include "support/net_namespace.h"
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

TEST(SimProgramE2E, RefusesLanOptionsItCannotServe) {
  const std::vector<std::vector<std::string>> refused = {
      {"--lan-name", "NORTHGATE1"},  // LAN options without --lan
      {"--lan", "10.231.0.300"},
      {"--lan", "10.231.0.2-0"},
      {"--lan", "224.0.0.1"},
      {"--lan", "10.231.0.2", "--lan-name", "SEVENTEEN-CHARS-X"},
      {"--lan", "10.231.0.2", "--lan-id", "024B5600000"},
  };
  for (const std::vector<std::string> &arguments : refused) {
    kovra_test::SimProcess sim(KOVRA_SIM_PATH, arguments);
    EXPECT_EQ(sim.Wait(), 2) << arguments[0] << " " << arguments[1];
  }
}

TEST(SimProgramE2E, ServesANetworkReaderWithTheGivenIdentity) {
  const kovra_test::NetRun run = kovra_test::RunInNetNamespaces(
      {},
      [](kovra_test::NetNamespaces &net) {
        std::optional<kovra_test::SimProcess> sim;
        // Started from the peer namespace, the program lives there.
        net.InPeer(0, [&] {
          sim.emplace(KOVRA_SIM_PATH,
                      std::vector<std::string>{"--lan", "10.231.0.2-10005", "--lan-if", "kvr0",
                                               "--lan-name", "NORTHGATE1", "--lan-dhcp", "--lan-id",
                                               "0A0B0C0D0E0F", "--lan-product", "Foreign Box"});
        });
        ASSERT_EQ(sim->lan(), "10.231.0.2-10005");
        const std::string state = sim->Control("lan");
        for (const char *field :
             {R"("address":"10.231.0.2","port":10005,"interface":"kvr0","owned":true)",
              R"("dhcp":true)", R"("name":"NORTHGATE1","identity":"[NORTHGATE1]")",
              R"("id":"0A0B0C0D0E0F","extended":true,"product":"Foreign Box")"}) {
          EXPECT_NE(state.find(field), std::string::npos) << field << " in " << state;
        }
        EXPECT_EQ(sim->Control("fault lan-flood"), "ok");
        EXPECT_EQ(sim->Control("fault none"), "ok");
        EXPECT_EQ(sim->Control("quit"), "ok");
        EXPECT_EQ(sim->Wait(), 0);
      },
      [] { return ::testing::Test::HasFailure(); });
  if (run.skipped) GTEST_SKIP() << run.message;
  EXPECT_TRUE(run.passed) << run.message;
}

}  // namespace
