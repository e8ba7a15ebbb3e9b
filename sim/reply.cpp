// What the simulated reader answers to one command, before it is framed.
#include "sim/reply.h"

#include <utility>

namespace kovra_sim {

Reply Reply::Ok(Bytes data) {
  Reply reply;
  reply.data = std::move(data);
  return reply;
}

Reply Reply::MoreData(Bytes data) {
  Reply reply;
  reply.status = ReplyStatus::kMoreData;
  reply.data = std::move(data);
  return reply;
}

Reply Reply::Error(ReplyStatus status) {
  Reply reply;
  reply.status = status;
  return reply;
}

Reply Reply::Raw(uint8_t status, Bytes data) {
  Reply reply;
  reply.status = ReplyStatus::kRaw;
  reply.raw_status = status;
  reply.data = std::move(data);
  return reply;
}

Reply Reply::BlockChain(const std::vector<Bytes> &blocks, ReplyStatus status) {
  Reply reply;
  reply.status = status;
  reply.data = ChainBodyOf(blocks);
  reply.block_chain = true;
  return reply;
}

uint8_t StatusByte(int family, ReplyStatus status, uint8_t echo, uint8_t raw) {
  const bool own_codes = family >= 2;  // families 2 and 3 have a status byte set of their own
  switch (status) {
    case ReplyStatus::kOk:
      return own_codes ? echo : 0x00;
    case ReplyStatus::kMoreData:
      return 0x20;
    case ReplyStatus::kNotAccepted:
      return own_codes ? 0xA0 : 0x18;
    case ReplyStatus::kWrongLength:
      return own_codes ? 0xA4 : 0x14;
    case ReplyStatus::kNoCard:
      return own_codes ? 0xC4 : 0x15;
    case ReplyStatus::kCollision:
      return own_codes ? 0xCC : 0x17;
    case ReplyStatus::kRaw:
      return raw;
  }
  return raw;
}

}  // namespace kovra_sim
