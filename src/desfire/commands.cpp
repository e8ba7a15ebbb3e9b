// The DESFire commands of the library besides the authentications.
#include "desfire/commands.h"

#include <algorithm>
#include <cstring>

#include "desfire/card_exchange.h"
#include "desfire/crc32.h"
#include "desfire/session.h"
#include "kovra.h"

namespace kovra::desfire {
namespace {

struct CommandRule {
  bool mac_first;       // the frame runs through the CMAC before it is sent
  size_t receive_size;  // the largest answer taken
  size_t min_answer;    // status byte included, MAC not
  bool verify_mac;      // the answer carries a MAC in a session, and it is checked
};

// One management command: secure, exchange, check. The answer (status first) is left in answer.
bool Run(CKOVRA_Port &port, const CMyByteArray &frame, const CommandRule &rule,
         CMyByteArray &answer) {
  if (rule.mac_first) MacCommand(port, frame.GetData(), frame.GetSize());
  if (!CardExchange(port, frame.GetData(), frame.GetSize(), rule.receive_size, answer) ||
      answer[0] != kStatusOk) {
    return FailCommand(port, answer);
  }
  // The MAC before the length: an answer that lacks its MAC (a bare status 00 among them) has
  // not been given by the card of this session, whatever else it lacks.
  if (rule.verify_mac && !VerifyResponseMac(port, answer.GetData(), answer.GetSize())) {
    return false;
  }
  const size_t mac = rule.verify_mac ? GetMacLength(port) : 0;
  if (answer.GetSize() < rule.min_answer + mac) return FailCommand(port, answer);
  return true;
}

CMyByteArray Frame(uint8_t command) {
  CMyByteArray frame;
  frame.Add(command);
  return frame;
}

}  // namespace

bool SelectApplication(CKOVRA_Port &port, uint32_t aid) {
  CMyByteArray frame = Frame(0x5A);
  Append24(frame, aid);
  CMyByteArray answer;
  if (!Run(port, frame, {false, 100, 1, false}, answer)) return false;
  SessionOf(port).selected_aid = aid & 0xFFFFFF;
  ResetAuthentication(port);
  return true;
}

bool CreateApplication(CKOVRA_Port &port, uint32_t aid, int crypto_method, int key_count,
                       int iso_file_ids, int change_key_access, int config_bits,
                       const uint8_t *iso_data, int iso_data_length) {
  CMyByteArray frame = Frame(0xCA);
  Append24(frame, aid);
  frame.Add(static_cast<uint8_t>((change_key_access << 4) | config_bits));
  frame.Add(static_cast<uint8_t>((crypto_method << 6) | (key_count & 0x0F) |
                                 (iso_file_ids != 0 ? 0x20 : 0)));
  if (iso_data != nullptr && iso_data_length > 2) {
    frame.Append(iso_data, static_cast<size_t>(iso_data_length));  // DF identifier, then name
  }
  CMyByteArray answer;
  return Run(port, frame, {true, 10, 1, true}, answer);
}

bool CreateStdDataFile(CKOVRA_Port &port, int file_no, int iso_file_id, int file_size,
                       int comm_settings, int access_rights) {
  CMyByteArray frame = Frame(0xCD);
  frame.Add(static_cast<uint8_t>(file_no));
  if (iso_file_id > 0) {
    frame.Add(static_cast<uint8_t>(iso_file_id & 0xFF));
    frame.Add(static_cast<uint8_t>((iso_file_id >> 8) & 0xFF));
  }
  frame.Add(static_cast<uint8_t>(comm_settings));
  frame.Add(static_cast<uint8_t>(access_rights & 0xFF));
  frame.Add(static_cast<uint8_t>((access_rights >> 8) & 0xFF));
  Append24(frame, static_cast<uint32_t>(file_size));
  CMyByteArray answer;
  return Run(port, frame, {true, 10, 1, true}, answer);
}

bool DeleteApplication(CKOVRA_Port &port, uint32_t aid) {
  CMyByteArray frame = Frame(0xDA);
  Append24(frame, aid);
  // Deleting the selected application drops the card back to card level, and its answer then
  // carries no MAC.
  const bool deletes_selected = (aid & 0xFFFFFF) == GetSelectedAid(port);
  CMyByteArray answer;
  if (!Run(port, frame, {true, 10, 1, !deletes_selected}, answer)) return false;
  if (deletes_selected) ResetSession(port);
  return true;
}

bool FormatPicc(CKOVRA_Port &port) {
  CMyByteArray answer;
  return Run(port, Frame(0xFC), {true, 100, 1, true}, answer);
}

bool GetFileSettings(CKOVRA_Port &port, int file_no, CMyByteArray &settings) {
  CMyByteArray frame = Frame(0xF5);
  frame.Add(static_cast<uint8_t>(file_no));
  CMyByteArray answer;
  if (!Run(port, frame, {true, 30, 8, true}, answer)) return false;
  const size_t mac = GetMacLength(port);
  settings = CMyByteArray(answer.GetData() + 1, answer.GetSize() - 1 - mac);
  if (settings.GetSize() >= 2) {
    const uint8_t comm = settings[1] & 0x03;
    settings[1] = comm == 2 ? 0 : comm;  // 2 is plain on the card as well
  }
  return true;
}

int GetFreeMemory(CKOVRA_Port &port) {
  CMyByteArray answer;
  if (!Run(port, Frame(0x6E), {true, 100, 4, true}, answer)) return -1;
  return answer[1] | (answer[2] << 8) | (answer[3] << 16);
}

bool ChangeKey(CKOVRA_Port &port, int key_no, const uint8_t *new_key, int new_key_length,
               int key_version, const uint8_t *old_key, int old_key_length,
               int new_master_key_type) {
  if (new_key == nullptr || new_key_length != 16) {
    port.SetLastError(KOVRA_DESFIRE_ERR_KEY_LENGTH);
    return false;
  }
  if (!IsAuthenticated(port)) {
    port.SetLastError(KOVRA_DESFIRE_ERR_NOT_AUTHENTICATED);
    return false;
  }
  CDatenFuerDesfireInPort &session = SessionOf(port);
  const bool same_key = static_cast<uint8_t>(key_no) == session.auth_key_no;
  if (!same_key && (old_key == nullptr || old_key_length != 16)) {
    port.SetLastError(KOVRA_DESFIRE_ERR_OLD_KEY_LENGTH);
    return false;
  }
  const bool aes_session = session.auth_state == kAesAuthenticated;
  const bool card_level = session.selected_aid == 0;
  uint8_t key_byte = static_cast<uint8_t>(key_no);
  if (card_level) {
    key_byte = static_cast<uint8_t>((key_no & 0x3F) |
                                    (new_master_key_type == 2 || aes_session ? 0x80 : 0x00));
  }
  // An AES key carries a version byte after its 16 bytes. That holds whenever the new key is an
  // AES key: in an AES session, and also when a triple-DES session turns the card master key
  // into an AES key (key-number byte with 0x80). A DES or 3DES key keeps its version in its own
  // bytes.
  const bool new_key_is_aes = aes_session || (card_level && (key_byte & 0x80) != 0);

  CMyByteArray plain;
  plain.Add(0xC4);
  plain.Add(key_byte);
  for (size_t i = 0; i < 16; ++i) {
    plain.Add(same_key ? new_key[i] : static_cast<uint8_t>(new_key[i] ^ old_key[i]));
  }
  if (new_key_is_aes) plain.Add(static_cast<uint8_t>(key_version));
  const uint32_t crc = Crc32(plain.GetData(), plain.GetSize());
  plain.RemoveAt(0, 2);  // the CRC covers command and key-number byte; the cryptogram does not
  AppendCrc32(plain, crc);
  if (!same_key) AppendCrc32(plain, Crc32(new_key, 16));
  const size_t block = session.crypt.BlockSize();
  const size_t minimum = aes_session ? 32 : 24;
  plain.SetSize(std::max(minimum, (plain.GetSize() + block - 1) / block * block));
  EncipherData(port, plain);

  CMyByteArray frame = Frame(0xC4);
  frame.Add(key_byte);
  frame.Append(plain);
  SecureWipe(plain.GetData(), plain.GetSize());
  // A change of the authenticated key ends the session on the card, which therefore answers
  // with the status alone; any other change is answered with a MAC.
  CMyByteArray answer;
  if (!Run(port, frame, {false, 10, 1, !same_key}, answer)) return false;
  if (same_key) ResetAuthentication(port);
  return true;
}

}  // namespace kovra::desfire
