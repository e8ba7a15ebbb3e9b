// DESFire card answers as they come back through the reader: any bytes, in any number of frames.
// Authentication, the secure channel and the data commands must never crash, read out of bounds
// or loop on them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "desfire/authenticate.h"
#include "desfire/commands.h"
#include "desfire/session.h"
#include "sim/reader.h"
#include "support/sim_transport.h"

namespace {

// Hands out the fuzz input as one card answer per exchange: a length byte, then that many bytes.
class AnswerSource {
 public:
  AnswerSource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  kovra_sim::Bytes Next() {
    if (pos_ >= size_) return {0x00};
    const size_t announced = data_[pos_];
    ++pos_;
    const size_t length = std::min(announced, size_ - pos_);
    kovra_sim::Bytes answer(data_ + pos_, data_ + pos_ + length);
    pos_ += length;
    return answer;
  }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  AnswerSource answers(data + 1, size - 1);
  kovra_sim::SimReader reader;
  reader.WithFirmware([&](kovra_sim::Firmware &firmware) {
    firmware.SetHandler(0x45, [&](const kovra_sim::FirmwareCommand &) {
      return kovra_sim::Reply::Ok(answers.Next());
    });
  });
  auto port = kovra_test::MakeSimPort(reader, 0);
  namespace df = kovra::desfire;
  const uint8_t selector = data[0];
  const uint8_t key[16] = {};
  if (selector & 1) df::Authenticate(*port, df::AuthMethod::kAes, 0, key, 16);
  if (selector & 2) df::Authenticate(*port, df::AuthMethod::kIso, 0, nullptr, 0);
  kovra::CMyByteArray bytes;
  df::GetFileSettings(*port, 1, bytes);
  df::GetFreeMemory(*port);
  df::ReadData(*port, 1, (selector >> 2) & 3, 0, (selector & 0x10) ? 0 : 40, bytes);
  const uint8_t payload[70] = {};
  df::WriteData(*port, 1, (selector >> 5) & 3, 0, payload, sizeof payload);
  df::ChangeKey(*port, 1, key, 16, 1, key, 16, 2);
  return 0;
}
