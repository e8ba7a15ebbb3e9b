// Which communication mode a ReadData or WriteData runs in, and whether it may run at all, as the
// card decides it from the file's access rights and the session.
//
// The keys that hold the command's right are the read and read/write keys for ReadData, the
// write and read/write keys for WriteData:
//  - authenticated with a key that holds the right: the file's communication mode (0 plain,
//    1 plain with MAC, 3 enciphered; 2 counts as plain);
//  - otherwise, when one of the two rights is free (0xE): plain. This covers "nobody
//    authenticated" and "authenticated with a key that holds no right here"; while a session
//    runs the command is still MACed into the chain and the answer still carries its MAC, but the
//    data are neither MACed nor enciphered;
//  - otherwise the command is refused: 0x9D when both rights are 0xF (nobody may), else 0xAE (a
//    key would do, but it is not the authenticated one).
#pragma once

#include <cstdint>
#include <optional>

namespace kovra_sim {

constexpr uint8_t kCommPlain = 0;
constexpr uint8_t kCommMac = 1;
constexpr uint8_t kCommEnciphered = 3;

struct DataAccess {
  uint8_t status = 0;  // 0: allowed, else the status to answer
  uint8_t mode = kCommPlain;
};

// `right` is the read (or write) nibble, `read_write` the read/write nibble, `authenticated` the
// key number of the session in the file's application, `comm_settings` the file's setting.
inline DataAccess DecideDataAccess(uint8_t right, uint8_t read_write,
                                   std::optional<uint8_t> authenticated, uint8_t comm_settings) {
  constexpr uint8_t kFree = 0xE;
  constexpr uint8_t kNever = 0xF;
  if (authenticated && (*authenticated == right || *authenticated == read_write)) {
    const uint8_t mode = comm_settings & 0x03;
    return {0, mode == 2 ? kCommPlain : mode};
  }
  if (right == kFree || read_write == kFree) return {0, kCommPlain};
  if (right == kNever && read_write == kNever) return {0x9D, kCommPlain};
  return {0xAE, kCommPlain};
}

}  // namespace kovra_sim
