// Job files as they come from disk: any bytes. Reading must never crash, lookups must answer,
// and what the store writes must read back to the same written form once it has settled.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/ini_store.h"

using namespace quillmate;

namespace {

std::string Rewritten(const std::string &text) {
  CPrivateProfile store;
  store.ParseText(text);
  return store.Text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  CPrivateProfile store;
  store.ParseText(text);
  for (const CSection &section : store.Sections()) {
    if (section.keys.size() != section.values.size()) std::abort();
    for (const std::string &key : section.keys) {
      if (key.find_first_of("\r\n") != std::string::npos) std::abort();
      store.GetString(section.name, key, "");
      store.GetInt(section.name, key, 0);
    }
  }
  store.SetString("Settings", "Wert", "1");
  if (store.GetString("Settings", "Wert", "") != "1") std::abort();

  // A key without a name writes as its bare value, which reads as a key: the written form may
  // change once more after the first write, then it must stay.
  const std::string once = Rewritten(store.Text());
  if (Rewritten(once) != Rewritten(Rewritten(once))) std::abort();
  return 0;
}
