// What the simulated reader answers to one command, before it is framed: an outcome that each
// protocol family spells with its own status byte, and the data.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/frame_codec.h"

namespace kovra_sim {

enum class ReplyStatus {
  kOk,           // families 0, 1: 0x00; families 2, 3: the command byte echoed
  kMoreData,     // 0x20: success, the rest of the answer follows on command 0x46 (family 0's way)
  kNotAccepted,  // families 0, 1: 0x18; families 2, 3: 0xA0 (the device does not accept this)
  kWrongLength,  // families 0, 1: 0x14; families 2, 3: 0xA4 (data amount wrong)
  kNoCard,       // families 0, 1: 0x15; families 2, 3: 0xC4 (no transponder)
  kCollision,    // families 0, 1: 0x17; families 2, 3: 0xCC
  kRaw,          // Reply::raw_status goes out as it is
};

struct Reply {
  ReplyStatus status = ReplyStatus::kOk;
  uint8_t raw_status = 0;  // used with ReplyStatus::kRaw only
  // The data. With block_chain it is the chain body (block length bytes included, without the
  // closing 0xFF): exactly what the host hands on as the reply's data.
  Bytes data;
  bool block_chain = false;

  static Reply Ok(Bytes data = {});
  static Reply MoreData(Bytes data);
  static Reply Error(ReplyStatus status);
  static Reply Raw(uint8_t status, Bytes data = {});
  // A reply whose data goes out as a block chain of these blocks.
  static Reply BlockChain(const std::vector<Bytes> &blocks, ReplyStatus status = ReplyStatus::kOk);
};

// The status byte of `status` in `family`; `echo` is the command byte as it arrived (families 2
// and 3 echo it on success), `raw` the byte for ReplyStatus::kRaw.
uint8_t StatusByte(int family, ReplyStatus status, uint8_t echo, uint8_t raw);

}  // namespace kovra_sim
