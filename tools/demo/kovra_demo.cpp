// kovra-demo: a self-check of the reader library against the simulator. For each of the four
// protocol families it serves a simulated reader on a pseudo-terminal, opens it with
// KOVRA_OpenPort as it would open a serial reader, identifies it, activates a card in its field
// and closes it again; then it shows how a line without a reader is reported. Exit code 0 when
// every step behaved, 1 otherwise.
#include <cstdio>
#include <string>

#include "kovra.h"
#include "sim/pty_server.h"
#include "sim/reader.h"

namespace {

std::string Hex(const unsigned char *bytes, int count) {
  std::string text;
  char digits[4];
  for (int i = 0; i < count; ++i) {
    std::snprintf(digits, sizeof digits, i ? " %02X" : "%02X", bytes[i]);
    text += digits;
  }
  return text;
}

bool OpenFamily(int family) {
  kovra_sim::SimReaderConfig config;
  config.family = family;
  config.version = "1031";
  kovra_sim::SimReader reader(config);
  kovra_sim::PtyServer server(reader);
  std::string error;
  if (!server.Start(&error)) {
    std::printf("family %d: no pseudo-terminal: %s\n", family, error.c_str());
    return false;
  }
  reader.PlaceCard(kovra_sim::CardKind::kDesfire);

  const int handle = KOVRA_OpenPort(server.Path().c_str(), 19200, 500);
  if (handle <= 0) {
    std::printf("family %d: KOVRA_OpenPort(%s) = %d\n", family, server.Path().c_str(), handle);
    return false;
  }
  unsigned char version[8] = {};
  char name[64] = {};
  const int version_length = KOVRA_GetVersion(handle, version, sizeof version);
  KOVRA_GetDeviceName(handle, name, sizeof name);

  unsigned short atqa = 0;
  unsigned char uid[10] = {};
  unsigned char sak = 0;
  const bool activated = KOVRA_SetRfField(handle, 1) == 0 && KOVRA_Request(handle, &atqa) == 0;
  const int uid_length = activated ? KOVRA_Select(handle, uid, sizeof uid, &sak) : -1;
  std::printf("family %d on %s: version %.*s, \"%s\", card ATQA %04X SAK %02X UID %s\n", family,
              server.Path().c_str(), version_length > 0 ? version_length : 0,
              reinterpret_cast<const char *>(version), name, atqa, sak,
              uid_length > 0 ? Hex(uid, uid_length).c_str() : "-");
  KOVRA_ClosePort(handle);
  return version_length == 4 && uid_length > 0;
}

bool SilentLine() {
  kovra_sim::SimReader reader;
  reader.SetSilent(true);
  kovra_sim::PtyServer server(reader);
  if (!server.Start()) return false;
  const int result = KOVRA_OpenPort(server.Path().c_str(), 19200, 100);
  std::printf("a line without an answering reader: KOVRA_OpenPort = %d\n", result);
  return result == KOVRA_OPEN_NO_READER;
}

}  // namespace

int main() {
  bool all_ok = true;
  for (int family = 0; family < 4; ++family) all_ok = OpenFamily(family) && all_ok;
  all_ok = SilentLine() && all_ok;
  std::printf("%s\n", all_ok ? "self-check passed" : "self-check FAILED");
  return all_ok ? 0 : 1;
}
