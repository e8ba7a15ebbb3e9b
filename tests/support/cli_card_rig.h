// quillmate-cli against one DESFire card of kovra-sim, with a private settings folder: the job
// the erase tests start from, and the calls that run the CLI on the simulated reader.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/cli_run.h"
#include "support/sim_process.h"

namespace kovra_test {

class CliCardRig : public ::testing::Test {
 protected:
  static constexpr char kUid[] = "04112233445566";
  static constexpr char kCardKey[] = "00112233445566778899AABBCCDDEEFF";
  static constexpr char kAppKey[] = "0102030405060708090A0B0C0D0E0F10";
  static constexpr char kOtherKey[] = "FFEEDDCCBBAA99887766554433221100";

  // Lays the card and stores the job: AES card master key kCardKey, application A1B2C3 with two
  // AES keys (app master key kAppKey, key 1 for reading and writing), file 1 of 16 bytes, value 41.
  void PlaceCardAndSetJob() {
    ASSERT_FALSE(sim_.pty().empty());
    ASSERT_EQ(sim_.Control(std::string("place desfire uid=") + kUid),
              std::string("ok uid=") + kUid);
    const CliRun job = Cli({"job", "set", "AppID=A1B2C3", "FileID=1", "KeyAnzahl=2", "ReadKeyNr=1",
                            "WriteKeyNr=1", "ReadWriteKeyNr=1", "Byteanzahl=16", "Zahlenformat=1",
                            "Darstellung=1", "AutoIncrement=0", "Wert=41",
                            std::string("CardKey=") + kCardKey, std::string("AppKey=") + kAppKey});
    ASSERT_EQ(job.exit_code, 0) << job.err;
  }

  // quillmate-cli with this folder's settings, German texts, and `input` as standard input.
  CliRun Cli(std::vector<std::string> arguments, const std::string &input = "") {
    arguments.insert(arguments.begin(), {"--config", dir_.path(), "--lang", "de"});
    return RunCliWithInput(std::move(arguments), input);
  }
  // The same on the simulated reader.
  CliRun OnReader(std::vector<std::string> arguments, const std::string &input = "") {
    arguments.insert(arguments.begin(), {"--port", sim_.pty(), "--baud", "115200"});
    return Cli(std::move(arguments), input);
  }
  std::string State() { return sim_.Control("state"); }

  TempDir dir_;
  SimProcess sim_{KOVRA_SIM_PATH, {}};
};

}  // namespace kovra_test
