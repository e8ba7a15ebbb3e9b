// Model names of the readers by device type code (three hexadecimal digits from the version
// answer).
#include "reader/device_names.h"

#include <cstdio>

namespace kovra {
namespace {

struct Model {
  int device_type;
  const char *name;
};

// The reader catalogue. An odd device type code marks a reader that can personalise DESFire
// cards (KOVRA_IsDeviceCapable). Family 2 readers identify as 171x and family 3 readers as 117x,
// the Bluetooth adapter as 125, a PC/SC reader as 1C1; the rest answer their code themselves.
constexpr Model kModels[] = {
    {0x100, "KV-HF Desk S"},
    {0x101, "KV-HF Desk S DESFire"},
    {0x102, "KV-HF Desk M"},
    {0x103, "KV-HF Desk M DESFire"},
    {0x104, "KV-HF Desk HID"},
    {0x105, "KV-HF Desk HID DESFire"},
    {0x106, "KV-HF Desk RS-232"},
    {0x107, "KV-HF Desk RS-232 DESFire"},
    {0x110, "KV-HF Panel"},
    {0x111, "KV-HF Panel DESFire"},
    {0x112, "KV-HF Panel RS-485"},
    {0x113, "KV-HF Panel RS-485 DESFire"},
    {0x114, "KV-HF Panel Keypad"},
    {0x115, "KV-HF Panel Keypad DESFire"},
    {0x117, "KV-HF Module 117 DESFire"},
    {0x120, "KV-HF OEM Module"},
    {0x121, "KV-HF OEM Module DESFire"},
    {0x122, "KV-HF OEM Module TTL"},
    {0x123, "KV-HF OEM Module TTL DESFire"},
    {0x125, "KV-BT Adapter"},
    {0x130, "KV-HF LAN"},
    {0x131, "KV-HF LAN DESFire"},
    {0x132, "KV-HF LAN PoE"},
    {0x133, "KV-HF LAN PoE DESFire"},
    {0x140, "KV-HF Kiosk"},
    {0x141, "KV-HF Kiosk DESFire"},
    {0x150, "KV-HF Long Range"},
    {0x151, "KV-HF Long Range DESFire"},
    {0x160, "KV-HF Gate"},
    {0x161, "KV-HF Gate DESFire"},
    {0x171, "KV-HF Compact 171 DESFire"},
    {0x180, "KV-HF Stick"},
    {0x181, "KV-HF Stick DESFire"},
    {0x190, "KV-HF Encoder"},
    {0x191, "KV-HF Encoder DESFire"},
    {0x1A1, "KV-HF Encoder Pro DESFire"},
    {0x1C1, "PC/SC Reader"},  // what a PC/SC port answers (transport/pcsc/pcsc_link.h)
};
static_assert(sizeof kModels / sizeof kModels[0] == 37, "the catalogue has 37 models");

}  // namespace

std::string DeviceName(int device_type) {
  for (const Model &model : kModels) {
    if (model.device_type == device_type) return model.name;
  }
  char fallback[16];
  std::snprintf(fallback, sizeof fallback, "KV-#%03X", static_cast<unsigned>(device_type) & 0xFFF);
  return fallback;
}

}  // namespace kovra
