// The card's state for the simulator's JSON state line (format in desfire_card.h).
#include <cstdio>

#include "sim/desfire/desfire_card.h"
#include "sim/json.h"

namespace kovra_sim {

namespace {

std::string Aid(uint32_t aid) {
  char text[8];
  std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(aid & 0xFFFFFF));
  return text;
}

std::string Hex16(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
  return text;
}

void WriteKey(JsonWriter &json, const DesfireKey &key) {
  json.Key("type").String(KeyTypeName(key));
  json.Key("key").String(HexString(key.bytes));
  json.Key("version").Unsigned(key.version);
}

void WriteFile(JsonWriter &json, const DesfireFile &file) {
  json.BeginObject();
  json.Key("no").Unsigned(file.number);
  json.Key("type").String("std");
  json.Key("iso_file_id");
  if (file.iso_file_id) {
    json.String(Hex16(*file.iso_file_id));
  } else {
    json.Null();
  }
  json.Key("comm").Unsigned(file.comm_settings);
  json.Key("access").String(Hex16(file.access_rights));
  json.Key("size").Unsigned(file.data.size());
  json.Key("data").String(HexString(file.data));
  json.EndObject();
}

void WriteApplication(JsonWriter &json, const DesfireApplication &application) {
  json.BeginObject();
  json.Key("aid").String(Aid(application.aid));
  json.Key("key_settings").Unsigned(application.key_settings);
  json.Key("key_settings2").Unsigned(application.key_settings2);
  json.Key("iso_df_id");
  if (application.iso_df_id) {
    json.String(Hex16(*application.iso_df_id));
  } else {
    json.Null();
  }
  json.Key("df_name").String(HexString(application.df_name));
  json.Key("keys").BeginArray();
  for (size_t i = 0; i < application.keys.size(); ++i) {
    json.BeginObject();
    json.Key("no").Unsigned(i);
    WriteKey(json, application.keys[i]);
    json.EndObject();
  }
  json.EndArray();
  json.Key("files").BeginArray();
  for (const DesfireFile &file : application.files) WriteFile(json, file);
  json.EndArray();
  json.EndObject();
}

}  // namespace

std::string DesfireCard::StateJson() const {
  JsonWriter json;
  json.BeginObject();
  json.Key("uid").String(HexString(uid_));
  json.Key("memory").BeginObject();
  json.Key("total").Unsigned(picc_.total_memory);
  json.Key("free").Unsigned(picc_.FreeMemory());
  json.EndObject();
  json.Key("picc").BeginObject();
  json.Key("key_settings").Unsigned(picc_.key_settings);
  json.Key("key").BeginObject();
  WriteKey(json, picc_.master_key);
  json.EndObject();
  json.EndObject();
  json.Key("selected").String(Aid(selected_aid_));
  json.Key("session");
  if (session_) {
    json.BeginObject();
    json.Key("key").Unsigned(session_->key_number);
    json.Key("cipher").String(session_->channel.Kind() == CipherKind::kAes ? "aes" : "3des");
    json.EndObject();
  } else {
    json.Null();
  }
  json.Key("pending").Bool(CommandPending());
  json.Key("applications").BeginArray();
  for (const DesfireApplication &application : picc_.applications) {
    WriteApplication(json, application);
  }
  json.EndArray();
  json.EndObject();
  return json.Text();
}

}  // namespace kovra_sim
