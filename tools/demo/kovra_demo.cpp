// kovra-demo: a self-check of the reader library against the simulated reader. For each of the
// four protocol families it asks a reader for its version, checks what went over the link and
// what came back, and shows how a reader that stays silent is reported. Exit code 0 when every
// step behaved, 1 otherwise.
#include <cstdio>
#include <string>

#include "kovra.h"
#include "reader/sdk_app.h"
#include "sim/reader.h"
#include "support/sim_transport.h"

namespace {

std::string Hex(const std::vector<uint8_t> &bytes) {
  std::string text;
  char digits[4];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", byte);
    text += digits;
  }
  return text;
}

std::string ErrorText(int handle, int language) {
  char text[256] = {};
  KOVRA_GetErrorText(handle, language, text, sizeof text - 1);
  return text;
}

bool AskVersion(int family) {
  kovra_sim::SimReaderConfig config;
  config.family = family;
  config.version = "1A3B";
  kovra_sim::SimReader reader(config);
  kovra_test::SimPortOptions options;
  options.add_to_app = true;
  auto port = kovra_test::MakeSimPort(reader, family, options);

  kovra::CMyByteArray answer;
  const bool ok = kovra::CKOVRA_SDKApp::Instance().SendCommand(port->Handle(), 0xF0, {}, answer);
  const auto frames = reader.ReceivedFrames();
  std::printf("family %d: sent [%s], answer [%s] %s\n", family,
              frames.empty() ? "" : Hex(frames.front()).c_str(), Hex(answer.Bytes()).c_str(),
              ok ? "ok" : ErrorText(port->Handle(), KOVRA_LANG_ENGLISH).c_str());
  kovra_test::RemoveSimPort(port);
  return ok && !answer.IsEmpty();
}

bool SilentReaderTimesOut() {
  kovra_sim::SimReader reader;
  reader.SetSilent(true);
  kovra_test::SimPortOptions options;
  options.add_to_app = true;
  options.timeout_ms = 100;
  auto port = kovra_test::MakeSimPort(reader, 0, options);
  kovra::CMyByteArray answer;
  const bool ok = kovra::CKOVRA_SDKApp::Instance().SendCommand(port->Handle(), 0xF0, {}, answer);
  const int error = KOVRA_GetLastError(port->Handle());
  std::printf("silent reader: error %d \"%s\" / \"%s\"\n", error,
              ErrorText(port->Handle(), KOVRA_LANG_ENGLISH).c_str(),
              ErrorText(port->Handle(), KOVRA_LANG_GERMAN).c_str());
  kovra_test::RemoveSimPort(port);
  return !ok && error == KOVRA_ERR_TIMEOUT;
}

}  // namespace

int main() {
  bool all_ok = true;
  for (int family = 0; family < 4; ++family) all_ok = AskVersion(family) && all_ok;
  all_ok = SilentReaderTimesOut() && all_ok;
  std::printf("%s\n", all_ok ? "self-check passed" : "self-check FAILED");
  return all_ok ? 0 : 1;
}
