// The ranges of the DESFire functions' arguments. A value outside them would be cut to the bits
// its field has and reach the card as another value (99 keys go out as 3, change-key access 99
// as 3, communication mode 7 as plain), so such a call is refused before anything is sent. Each
// function answers 0 when the arguments fit, else the error code the call leaves in the port's
// last error: KOVRA_ERR_MODE_INVALID for a communication mode, KOVRA_ERR_WRONG_PARAMETER for
// any other argument.
#pragma once

#include <cstdint>

#include "kovra.h"

namespace kovra::desfire_arguments {

inline constexpr int kMaxKeyNo = 13;  // 14 keys per application
inline constexpr int kMaxKeyCount = 14;
inline constexpr int kMaxFileNo = 31;
inline constexpr int kMaxCryptoMethod = 2;    // 0 DES/3DES, 1 3K3DES, 2 AES
inline constexpr int kMaxIsoDataLength = 18;  // DF identifier (2) and a name of at most 16
inline constexpr int64_t kMax24 = 0xFFFFFF;   // offsets, lengths and sizes: 3 bytes

constexpr bool InRange(int64_t value, int64_t low, int64_t high) {
  return value >= low && value <= high;
}

constexpr bool IsCommMode(int mode) {
  return mode == 0 || mode == 1 || mode == 3;
}

constexpr int KeyNo(int key_no) {
  return InRange(key_no, 0, kMaxKeyNo) ? 0 : KOVRA_ERR_WRONG_PARAMETER;
}

constexpr int CreateApplication(int crypto_method, int key_count, int change_key_access,
                                int config_bits, bool has_iso_data, int iso_data_length) {
  const bool fits = InRange(crypto_method, 0, kMaxCryptoMethod) &&
                    InRange(key_count, 1, kMaxKeyCount) && InRange(change_key_access, 0, 0xF) &&
                    InRange(config_bits, 0, 0xF) &&
                    (!has_iso_data || iso_data_length <= kMaxIsoDataLength);
  return fits ? 0 : KOVRA_ERR_WRONG_PARAMETER;
}

constexpr int CreateStdDataFile(int file_no, int iso_file_id, int file_size, int comm_settings,
                                int access_rights) {
  if (!IsCommMode(comm_settings)) return KOVRA_ERR_MODE_INVALID;
  const bool fits = InRange(file_no, 0, kMaxFileNo) && InRange(iso_file_id, 0, 0xFFFF) &&
                    InRange(file_size, 0, kMax24) && InRange(access_rights, 0, 0xFFFF);
  return fits ? 0 : KOVRA_ERR_WRONG_PARAMETER;
}

constexpr int FileNo(int file_no) {
  return InRange(file_no, 0, kMaxFileNo) ? 0 : KOVRA_ERR_WRONG_PARAMETER;
}

// ReadData and WriteData: the last byte touched must lie within the 3-byte offset range.
constexpr int DataTransfer(int file_no, int comm_mode, int offset, int length) {
  if (!IsCommMode(comm_mode)) return KOVRA_ERR_MODE_INVALID;
  const bool fits = InRange(file_no, 0, kMaxFileNo) && InRange(offset, 0, kMax24) &&
                    InRange(length, 0, kMax24) && int64_t{offset} + length <= kMax24 + 1;
  return fits ? 0 : KOVRA_ERR_WRONG_PARAMETER;
}

constexpr int ChangeKey(int key_no, int key_version) {
  return InRange(key_no, 0, kMaxKeyNo) && InRange(key_version, 0, 0xFF) ? 0
                                                                        : KOVRA_ERR_WRONG_PARAMETER;
}

}  // namespace kovra::desfire_arguments
