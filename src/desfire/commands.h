// The DESFire commands of the library besides the authentications. Each builds its native frame,
// secures it as the session requires, exchanges it with the card and checks the answer. All
// return true on success; on failure the port's last error holds the cause (0x10000 + the card's
// status, a code of the DESFire layer, or the reader's error) and, where the card answered
// wrongly or not at all, the authentication has ended.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reader/byte_array.h"
#include "reader/port.h"

namespace kovra::desfire {

bool SelectApplication(CKOVRA_Port &port, uint32_t aid);
bool CreateApplication(CKOVRA_Port &port, uint32_t aid, int crypto_method, int key_count,
                       int iso_file_ids, int change_key_access, int config_bits,
                       const uint8_t *iso_data, int iso_data_length);
bool CreateStdDataFile(CKOVRA_Port &port, int file_no, int iso_file_id, int file_size,
                       int comm_settings, int access_rights);
bool DeleteApplication(CKOVRA_Port &port, uint32_t aid);
bool FormatPicc(CKOVRA_Port &port);
// The file's settings without the MAC; the communication settings byte reads 0, 1 or 3.
bool GetFileSettings(CKOVRA_Port &port, int file_no, CMyByteArray &settings);
// Free bytes on the card, or -1.
int GetFreeMemory(CKOVRA_Port &port);
bool ChangeKey(CKOVRA_Port &port, int key_no, const uint8_t *new_key, int new_key_length,
               int key_version, const uint8_t *old_key, int old_key_length,
               int new_master_key_type);
// length 0 reads to the end of the file.
bool ReadData(CKOVRA_Port &port, int file_no, int comm_mode, uint32_t offset, uint32_t length,
              CMyByteArray &data);
bool WriteData(CKOVRA_Port &port, int file_no, int comm_mode, uint32_t offset, const uint8_t *data,
               size_t length);

}  // namespace kovra::desfire
