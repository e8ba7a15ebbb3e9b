// What a DESFire EV1 card keeps in its memory.
#include "sim/desfire/desfire_model.h"

#include <algorithm>

namespace kovra_sim {

bool DesfireKey::IsSingleDes() const {
  return type == DesfireKeyType::kDes &&
         std::equal(bytes.begin(), bytes.begin() + 8, bytes.begin() + 8, bytes.end());
}

std::string_view KeyTypeName(const DesfireKey &key) {
  if (key.type == DesfireKeyType::kAes) return "aes";
  return key.IsSingleDes() ? "des" : "2k3des";
}

uint8_t DesKeyVersion(const Bytes &key) {
  uint8_t version = 0;
  for (size_t i = 0; i < 8 && i < key.size(); ++i) {
    version = static_cast<uint8_t>(version | ((key[i] & 1u) << (7 - i)));
  }
  return version;
}

DesfireFile *DesfireApplication::File(uint8_t number) {
  for (DesfireFile &file : files) {
    if (file.number == number) return &file;
  }
  return nullptr;
}

const DesfireFile *DesfireApplication::File(uint8_t number) const {
  return const_cast<DesfireApplication *>(this)->File(number);
}

DesfireApplication *DesfirePicc::Application(uint32_t aid) {
  for (DesfireApplication &application : applications) {
    if (application.aid == aid) return &application;
  }
  return nullptr;
}

const DesfireApplication *DesfirePicc::Application(uint32_t aid) const {
  return const_cast<DesfirePicc *>(this)->Application(aid);
}

size_t DesfirePicc::FileCost(size_t size) {
  return (size + kFileBlock - 1) / kFileBlock * kFileBlock;
}

size_t DesfirePicc::UsedMemory() const {
  size_t used = 0;
  for (const DesfireApplication &application : applications) {
    used += kApplicationCost;
    for (const DesfireFile &file : application.files) used += FileCost(file.data.size());
  }
  return used;
}

}  // namespace kovra_sim
