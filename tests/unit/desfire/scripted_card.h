// A reader whose exchange command is answered by a scripted card, for the tests of the DESFire
// commands: the card's answer to each block comes from a function the test sets, and every block
// the card got is recorded.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "reader/port.h"
#include "sim/reader.h"
#include "support/sim_transport.h"

namespace kovra_test {

// A reader whose card answers every block through `answer` and records the blocks it got.
class ScriptedCard {
 public:
  using Bytes = kovra_sim::Bytes;

  ScriptedCard() {
    reader_.WithFirmware([this](kovra_sim::Firmware &firmware) {
      firmware.SetHandler(0x45, [this](const kovra_sim::FirmwareCommand &command) {
        blocks_.push_back(command.data);
        return kovra_sim::Reply::Ok(answer_(command.data));
      });
      // The scripted card counts as activated: the reader takes every PPS.
      firmware.SetHandler(
          0x42, [](const kovra_sim::FirmwareCommand &) { return kovra_sim::Reply::Ok(); });
    });
    SimPortOptions options;
    options.add_to_app = true;
    options.timeout_ms = 50;
    port_ = MakeSimPort(reader_, 0, options);
  }
  ~ScriptedCard() { RemoveSimPort(port_); }
  ScriptedCard(const ScriptedCard &) = delete;
  ScriptedCard &operator=(const ScriptedCard &) = delete;

  // From now on every block is answered with what `answer` returns for it.
  void Answer(std::function<Bytes(const Bytes &)> answer) { answer_ = std::move(answer); }
  kovra::CKOVRA_Port &port() { return *port_; }
  int handle() const { return port_->Handle(); }
  const std::vector<Bytes> &blocks() const { return blocks_; }

 private:
  kovra_sim::SimReader reader_;
  std::shared_ptr<kovra::CKOVRA_Port> port_;
  std::vector<Bytes> blocks_;
  std::function<Bytes(const Bytes &)> answer_ = [](const Bytes &) { return Bytes{0x00}; };
};

}  // namespace kovra_test
