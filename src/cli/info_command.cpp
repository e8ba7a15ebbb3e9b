// "info": opens the reader and prints what it says of itself.
#include "cli/info_command.h"

#include <cstdio>

#include "cli/cli_output.h"
#include "cli/cli_session.h"
#include "cli/exit_codes.h"
#include "kovra.h"
#include "writer/reader/reader_port.h"

namespace quillmate::cli {

int RunInfo(SettingsStore &settings, const CardOptions &options) {
  const OperatorSettings operator_settings = settings.LoadOperatorSettings();
  const int handle = OpenCliReader(operator_settings, options);
  if (handle == 0) return kExitNoReader;
  char name[64] = {};
  KOVRA_GetDeviceName(handle, name, sizeof name);
  unsigned char version[16] = {};
  const int length = KOVRA_GetVersion(handle, version, sizeof version);
  KOVRA_ClosePort(handle);
  if (length < 4) {
    Error("the reader did not answer its version");
    return kExitNoReader;
  }
  const QString text = QString::fromLatin1(reinterpret_cast<const char *>(version), length);
  const QString port = ReaderPortName(ChosenPort(operator_settings, options));
  if (options.json) {
    PrintJson({{"op", "info"},
               {"device", QString::fromUtf8(name)},
               {"version", text},
               {"firmware", text.mid(3)},
               {"port", port}});
  } else {
    std::printf("device: %s\nversion: %s\nfirmware: %s\nport: %s\n", name,
                text.toLatin1().constData(), text.mid(3).toLatin1().constData(),
                port.toUtf8().constData());
  }
  return kExitDone;
}

}  // namespace quillmate::cli
