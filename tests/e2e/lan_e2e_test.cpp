// Network readers of the kovra-sim program (--lan), each in its own process and network namespace
// behind a bridge of the test's own (support/lan_lab.h), reached through the library's C API:
// opening by address and identity, the search over two adapters, reading and changing a reader's
// settings and opening it where it went, and readers that reset, fall silent, flood or restart.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "kovra.h"
#include "support/cli_run.h"
#include "support/lan_calls.h"
#include "support/lan_lab.h"
#include "support/sim_process.h"
#include "transport/lan_config/lan_config_link.h"

namespace {

using kovra_test::LanLab;
using kovra_test::Search;
using kovra_test::SimProcess;
using kovra_test::Since;
using kovra_test::Version;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using Arguments = std::vector<std::string>;

// Opens `name` once the reader answers there (it may be restarting); the handle or a failure.
int OpenWhenBack(const std::string &name) {
  const auto deadline = Clock::now() + milliseconds(5000);
  while (KOVRA_PingLanDevice(name.c_str()) != 1 && Clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(50));
  }
  return KOVRA_OpenPort(name.c_str(), 0, 500);
}

bool Holds(SimProcess &sim, const std::string &field) {
  return sim.Control("lan").find(field) != std::string::npos;
}

// The host's namespace with one bridge per local network (10.231.<n>.1/24 are its adapters);
// each reader is a kovra-sim program in a namespace of its own behind the bridge (its interface
// eth0), as readers on a switch are.
class LanE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!lab_.Skipped().empty()) GTEST_SKIP() << lab_.Skipped();
    ASSERT_TRUE(lab_.AddNetwork(1));
  }

  // The namespace of reader `host` on network `network` (10.231.<network>.<host>).
  kovra_test::NetNamespace *Host(int network, int host) {
    kovra_test::NetNamespace *ns = lab_.AddReaderHost(network, host);
    EXPECT_NE(ns, nullptr);
    return ns;
  }

  // Starts a kovra-sim network reader in `ns` at `address` ("A.B.C.D-PORT") with more options.
  // Its device identifier ends in the address's last number.
  std::unique_ptr<SimProcess> StartReader(kovra_test::NetNamespace *ns, const std::string &address,
                                          Arguments more = {}) {
    char id[13];
    std::snprintf(id, sizeof id, "024B560000%02X",
                  std::stoi(address.substr(address.rfind('.') + 1)) & 0xFF);
    Arguments arguments = {"--lan",    address, "--lan-if",         "eth0",
                           "--lan-id", id,      "--lan-restart-ms", "300"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    std::unique_ptr<SimProcess> sim;
    // Started from a thread inside the reader's namespace, the program lives there.
    ns->Start([&] { sim = std::make_unique<SimProcess>(KOVRA_SIM_PATH, arguments); }).join();
    EXPECT_FALSE(sim->lan().empty()) << address;
    return sim;
  }

  LanLab lab_;  // declared first: the readers of a test end before it goes
};

TEST_F(LanE2E, OpensReadersByAddressAndByIdentityAndAsksTheirVersion) {
  auto fixed = StartReader(Host(1, 2), "10.231.1.2-10001");
  auto dhcp = StartReader(Host(1, 3), "10.231.1.3-4001",
                          {"--lan-dhcp", "--lan-name", "NORTHGATE1", "--reader-version", "4321"});
  for (const auto &[name, version] :
       {std::pair{"10.231.1.2", "1234"}, std::pair{"10.231.1.2-10001", "1234"},
        std::pair{"10.231.1.3-4001", "4321"}, std::pair{"[NORTHGATE1]", "4321"}}) {
    const int handle = KOVRA_OpenPort(name, 0, 500);
    EXPECT_EQ(handle, 20001) << name;
    EXPECT_EQ(Version(handle), version) << name;
    EXPECT_EQ(KOVRA_ClosePort(handle), 0) << name;
  }
  // The reader resets the connection in the middle of a reply: that command fails, the next one
  // goes over a new connection.
  const int handle = KOVRA_OpenPort("10.231.1.2", 0, 300);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(fixed->Control("fault reset-mid-reply"), "ok");
  EXPECT_EQ(Version(handle), "");
  EXPECT_EQ(Version(handle), "1234");
  // A reader that stops answering: a timeout, no hang.
  EXPECT_EQ(fixed->Control("fault silent"), "ok");
  const auto start = Clock::now();
  EXPECT_EQ(Version(handle), "");
  EXPECT_EQ(KOVRA_GetLastError(handle), KOVRA_ERR_TIMEOUT);
  EXPECT_LT(Since(start), milliseconds(1000));
  EXPECT_EQ(KOVRA_ClosePort(handle), 0);
}

// The production line's use: quillmate-cli personalises a card on a network reader that it finds
// by its identity.
TEST_F(LanE2E, TheCliWritesACardOnAReaderNamedByItsIdentity) {
  auto reader = StartReader(Host(1, 4), "10.231.1.4-10001", {"--lan-dhcp", "--lan-name", "LINE4"});
  ASSERT_EQ(reader->Control("place desfire").rfind("ok", 0), 0u);
  const kovra_test::TempDir config;
  const std::vector<std::string> cli = {"--config", config.path(), "--port", "[LINE4]"};
  auto with = [&cli](std::vector<std::string> more) {
    std::vector<std::string> arguments = cli;
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
  };
  const kovra_test::CliRun set =
      kovra_test::RunCli(with({"job", "set", "Wert=700", "AppID=4C4E01", "Byteanzahl=8"}));
  ASSERT_EQ(set.exit_code, 0) << set.err;
  const kovra_test::CliRun written = kovra_test::RunCli(with({"--json", "write"}));
  EXPECT_EQ(written.exit_code, 0) << written.err;
  EXPECT_NE(written.out.find(R"("value":"700")"), std::string::npos) << written.out;
  const kovra_test::CliRun read = kovra_test::RunCli(with({"--json", "read"}));
  EXPECT_EQ(read.exit_code, 0) << read.err;
  EXPECT_NE(read.out.find(R"("value":"700")"), std::string::npos) << read.out;
}

TEST_F(LanE2E, SearchesTwoAdaptersWithSeveralReaders) {
  ASSERT_TRUE(lab_.AddNetwork(2));
  auto fixed = StartReader(Host(1, 2), "10.231.1.2-10001");
  kovra_test::NetNamespace *dhcp_host = Host(1, 3);
  const Arguments dhcp_options = {"--lan-dhcp", "--lan-name", "NORTHGATE1"};
  auto dhcp = StartReader(dhcp_host, "10.231.1.3-10001", dhcp_options);
  auto foreign = StartReader(Host(1, 4), "10.231.1.4-10001", {"--lan-product", "Foreign Box"});
  auto second = StartReader(Host(2, 5), "10.231.2.5-4001");

  EXPECT_EQ(Search(false),
            (std::vector<std::string>{"10.231.1.2-10001", "10.231.1.4-10001", "10.231.2.5-4001",
                                      "[NORTHGATE1]10.231.1.3-10001"}));
  EXPECT_EQ(Search(true),
            (std::vector<std::string>{"10.231.1.2-10001", "10.231.2.5-4001", "[NORTHGATE1]"}));

  // A reader that answers the search forever does not hold it beyond its bound.
  EXPECT_EQ(foreign->Control("fault lan-flood"), "ok");
  auto start = Clock::now();
  EXPECT_EQ(Search(false).size(), 4u);
  EXPECT_LT(Since(start), kovra::lan::kMaxSearchPerAdapter + milliseconds(1500));
  EXPECT_EQ(foreign->Control("fault none"), "ok");

  // A reader that restarts during the search is left out without harm, and found afterwards.
  std::thread restart([&] {
    std::this_thread::sleep_for(milliseconds(100));
    dhcp.reset();                                                     // the program ends ...
    dhcp = StartReader(dhcp_host, "10.231.1.3-10001", dhcp_options);  // ... and comes back
  });
  start = Clock::now();
  const std::vector<std::string> during = Search(false);
  restart.join();
  EXPECT_LT(Since(start), milliseconds(4000));
  EXPECT_GE(during.size(), 3u);
  EXPECT_EQ(during.front(), "10.231.1.2-10001");
  EXPECT_EQ(Search(true).size(), 3u);
}

TEST_F(LanE2E, ReadsAndChangesSettingsAndOpensTheReaderWhereItWent) {
  auto extended = StartReader(Host(1, 2), "10.231.1.2-10001");
  auto simple =
      StartReader(Host(1, 3), "10.231.1.3-10001", {"--lan-simple", "--lan-gateway", "10.231.1.1"});
  char name[32], address[32], mask[32], gateway[32];
  ASSERT_EQ(KOVRA_GetLanConfig("10.231.1.3", name, address, mask, gateway), 0);
  EXPECT_STREQ(address, "10.231.1.3-10001");
  EXPECT_STREQ(mask, "255.255.255.0");
  EXPECT_STREQ(gateway, "10.231.1.1");

  // Fixed to another fixed address: the extended assignment carries everything; the simple one
  // the address, and the rest is written once the reader answers at its new address.
  for (const auto &[reader, from, to] : {std::tuple{extended.get(), "10.231.1.2", "10.231.1.20"},
                                         std::tuple{simple.get(), "10.231.1.3", "10.231.1.30"}}) {
    ASSERT_EQ(KOVRA_SetLanConfig(from, (std::string(to) + "-10001").c_str(), "255.255.254.0",
                                 "10.231.1.1"),
              0)
        << from;
    const int handle = OpenWhenBack(to);
    ASSERT_GT(handle, 0) << to;
    EXPECT_EQ(Version(handle), "1234");
    KOVRA_ClosePort(handle);
    ASSERT_EQ(KOVRA_GetLanConfig(to, name, address, mask, gateway), 0);
    EXPECT_EQ(std::string(address), std::string(to) + "-10001");
    EXPECT_STREQ(mask, "255.255.254.0");
    EXPECT_TRUE(Holds(*reader, std::string(R"("address":")") + to + "\"")) << to;
  }
}

TEST_F(LanE2E, RenamesADhcpReaderThatTakesOnlyTheSimpleAssignment) {
  auto reader = StartReader(Host(1, 2), "10.231.1.2-10001",
                            {"--lan-dhcp", "--lan-simple", "--lan-name", "OLDNAME"});
  const auto start = Clock::now();
  ASSERT_EQ(KOVRA_SetLanConfig("[OLDNAME]", "[NEWNAME]", "", ""), 0);
  EXPECT_LT(Since(start), milliseconds(8000));
  EXPECT_TRUE(Holds(*reader, R"("identity":"[NEWNAME]")"));
  const int handle = OpenWhenBack("[NEWNAME]");
  ASSERT_GT(handle, 0);
  EXPECT_EQ(Version(handle), "1234");
  KOVRA_ClosePort(handle);
  char name[32], address[32];
  ASSERT_EQ(KOVRA_GetLanConfig("[NEWNAME]", name, address, nullptr, nullptr), 0);
  EXPECT_STREQ(name, "[NEWNAME]-10001");
  EXPECT_STREQ(address, "");
}

}  // namespace
