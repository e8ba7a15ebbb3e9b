// A MIFARE DESFire EV1 card as the reader's ISO 14443-4 slot sees it, written from the card's
// point of view. Frames are native DESFire frames: a command byte and its parameters in, a status
// byte and data out; status 0xAF asks for (or announces) a further frame.
//
// Commands: AuthenticateISO 1A, AuthenticateAES AA, SelectApplication 5A, CreateApplication CA,
// DeleteApplication DA, FormatPICC FC, CreateStdDataFile CD, GetFileSettings F5, GetFreeMemory 6E,
// ChangeKey C4, ReadData BD, WriteData 3D, GetVersion 60, GetApplicationIDs 6A, GetFileIDs 6F,
// GetKeySettings 45, GetKeyVersion 64. Any other command byte answers 0x1C. Three-key triple DES
// (crypto method 1, key-number flag 0x40) is refused with 0x9E.
//
// Secure messaging is EV1's: after an authentication one CBC chain runs through the session.
// While authenticated the card
//  - computes the CMAC of every command it receives (command byte and parameters, the whole
//    reassembled data for multi-frame writes), except the enciphered ones (ChangeKey, enciphered
//    WriteData), whose decipherment moves the chain instead;
//  - appends the first 8 bytes of the CMAC over (answer data || status 00) to every status-00
//    answer except enciphered ReadData answers, authentication answers and the answer that ends
//    the session (ChangeKey of the authenticated key, DeleteApplication of the selected one);
//  - ends the session on SelectApplication, on every error status, on a new or failed
//    authentication, after ChangeKey of the authenticated key, and when the card is reset.
//
// Frames: a command frame holds at most 60 bytes (command byte included; longer: 0x7E), so
// WriteData carries up to 52 data bytes behind its 8 header bytes and 59 behind each 0xAF. Long
// answers go out in frames of up to 59 data bytes, each but the last with status 0xAF, fetched
// with the single byte AF. A new command while a multi-frame command is unfinished is answered
// 0xCA and not run; a lone AF with nothing unfinished answers 0x1C.
//
// Not thread-safe; the field (and the reader's lock) serialises every call.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <variant>

#include "sim/cards.h"
#include "sim/desfire/desfire_model.h"
#include "sim/desfire/secure_channel.h"

namespace kovra_sim {

struct DesfireCardOptions {
  // Fills `count` bytes of a random challenge (RndB). Empty: a generator seeded from
  // std::random_device. Tests set it to replay recorded sessions.
  std::function<void(uint8_t *out, size_t count)> random;
  // The bytes an empty card offers to applications and files (GetFreeMemory of a fresh card).
  size_t total_memory = 7936;
  // The last GetVersion frame: UID, batch number, production week and year (BCD).
  std::array<uint8_t, 5> batch_number = {0xB4, 0x21, 0x5C, 0x73, 0x10};
  uint8_t production_week = 0x12;
  uint8_t production_year = 0x24;
};

// The card's session as tests see it.
struct DesfireSessionView {
  uint8_t key_number = 0;
  CipherKind cipher = CipherKind::kTdes;
  Bytes session_key;
  Bytes iv;  // the chaining vector now
};

class DesfireCard : public Iso14443Card {
 public:
  static constexpr uint16_t kAtqa = 0x0344;
  static constexpr uint8_t kSak = 0x20;
  static constexpr size_t kMaxCommandFrame = 60;
  static constexpr size_t kMaxAnswerData = 59;

  // A factory-fresh card: PICC master key 16 zero bytes (DES, version 0), key settings 0x0F, no
  // applications. `uid` should be 7 bytes starting 04; GetVersion reports it cut or zero-filled
  // to 7 bytes.
  explicit DesfireCard(Bytes uid, DesfireCardOptions options = {});

  CardKind Kind() const override { return CardKind::kDesfire; }
  uint16_t Atqa() const override { return kAtqa; }
  uint8_t Sak() const override { return kSak; }
  Bytes Uid() const override { return uid_; }
  // The ATS of the ISO card: 06 75 77 81 02 80.
  Bytes Ats() const override;
  // One native DESFire frame in, the card's answer (status byte first) out.
  Bytes Exchange(const Bytes &frame) override;
  // Power loss or a new select: card level selected, no session, no unfinished command. The
  // card's content stays.
  void Reset() override;
  // {"uid","memory":{"total","free"},"picc":{"key_settings","key":{...}},"selected":"AABBCC",
  //  "session":null or {"key","cipher"},"pending":bool,
  //  "applications":[{"aid","key_settings","key_settings2","iso_df_id","df_name",
  //                   "keys":[{"no","type","key","version"}],
  //                   "files":[{"no","type","iso_file_id","comm","access","size","data"}]}]}
  // AIDs are 6 hex digits of the number, keys and data uppercase hex, access rights 4 hex digits.
  std::string StateJson() const override;

  // --- inspection ---------------------------------------------------------------------------
  const DesfirePicc &Content() const { return picc_; }
  // For tests that set a card up directly (keys, files, data). Leaves the session alone; a test
  // that removes the selected application should Reset() the card.
  DesfirePicc &EditContent() { return picc_; }
  const DesfireApplication *Application(uint32_t aid) const { return picc_.Application(aid); }
  // 0 = card level.
  uint32_t SelectedAid() const { return selected_aid_; }
  // Nothing when not authenticated.
  std::optional<DesfireSessionView> Session() const;
  // A multi-frame command waits for its next AF frame.
  bool CommandPending() const { return !std::holds_alternative<std::monostate>(pending_); }

  // --- faults -------------------------------------------------------------------------------
  // The next frame with this command byte is answered with `status` alone and not run, with the
  // usual effect of an error (the session ends). The only way to see 0x0C, 0xEE or 0xF1.
  void InjectStatus(uint8_t command, uint8_t status) { injected_[command] = status; }

 private:
  struct ActiveSession {
    uint8_t key_number;
    SecureChannel channel;
  };
  struct PendingAuthentication {
    CipherKind cipher;
    uint8_t key_number;
    DesfireKey key;
    Bytes rnd_b;
    Bytes iv;
  };
  struct PendingAnswer {
    std::deque<Bytes> frames;  // complete frames, status byte included
  };
  struct PendingWrite {
    uint32_t aid;
    uint8_t file;
    uint32_t offset;
    uint32_t length;
    uint8_t mode;  // 0 plain, 1 MAC, 3 enciphered
    Bytes header;  // 3D, file, offset, length
    size_t expected;
    Bytes stream;
  };
  // What a command handler answers; Finish() adds the MAC and cuts it into frames.
  struct CardAnswer {
    uint8_t status = desfire_status::kOk;
    Bytes data;
    bool mac = true;                   // append the response MAC while authenticated
    std::vector<size_t> first_frames;  // data bytes of the first frames (then 59 each)
  };
  using Handler = CardAnswer (DesfireCard::*)(const Bytes &frame);
  struct CommandEntry {
    uint8_t code;
    Handler handler;
    bool mac_command;  // the received command goes into the CMAC chain while authenticated
  };
  static const std::array<CommandEntry, 17> kCommands;

  static CardAnswer Error(uint8_t status) { return CardAnswer{status, {}, false, {}}; }
  Bytes Finish(CardAnswer answer);
  Bytes Fail(uint8_t status);
  Bytes Continue(const Bytes &frame);
  void EndSession() { session_.reset(); }
  Bytes Random(size_t count);
  DesfireApplication *Selected() { return picc_.Application(selected_aid_); }
  // The key authenticated in the selected application (or at card level); nothing when none.
  std::optional<uint8_t> AuthenticatedKey() const;
  bool MasterKeyAuthenticated() const { return AuthenticatedKey() == 0; }
  // The key `number` of the selected level; null when there is no such key.
  DesfireKey *KeyOfSelected(uint8_t number);

  // desfire_authentication.cpp
  CardAnswer AuthenticateIso(const Bytes &frame);
  CardAnswer AuthenticateAes(const Bytes &frame);
  CardAnswer BeginAuthentication(const Bytes &frame, CipherKind cipher);
  CardAnswer FinishAuthentication(const PendingAuthentication &pending, const Bytes &frame);
  // desfire_keys.cpp
  CardAnswer ChangeKey(const Bytes &frame);
  CardAnswer GetKeySettings(const Bytes &frame);
  CardAnswer GetKeyVersion(const Bytes &frame);
  // desfire_applications.cpp
  CardAnswer SelectApplication(const Bytes &frame);
  CardAnswer CreateApplication(const Bytes &frame);
  CardAnswer DeleteApplication(const Bytes &frame);
  CardAnswer FormatPicc(const Bytes &frame);
  CardAnswer GetApplicationIds(const Bytes &frame);
  CardAnswer GetVersion(const Bytes &frame);
  CardAnswer GetFreeMemory(const Bytes &frame);
  // desfire_files.cpp
  CardAnswer CreateStdDataFile(const Bytes &frame);
  CardAnswer GetFileIds(const Bytes &frame);
  CardAnswer GetFileSettings(const Bytes &frame);
  // desfire_data.cpp
  CardAnswer ReadData(const Bytes &frame);
  CardAnswer WriteData(const Bytes &frame);
  CardAnswer ContinueWrite(PendingWrite write, const uint8_t *data, size_t count);
  CardAnswer CompleteWrite(const PendingWrite &write);

  Bytes uid_;
  DesfireCardOptions options_;
  std::mt19937 random_;
  DesfirePicc picc_;
  uint32_t selected_aid_ = 0;
  std::optional<ActiveSession> session_;
  std::variant<std::monostate, PendingAuthentication, PendingAnswer, PendingWrite> pending_;
  std::map<uint8_t, uint8_t> injected_;
};

}  // namespace kovra_sim
