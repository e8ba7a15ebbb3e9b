// The port, language and open reader a reader command works with, taken from the options and the
// settings.
#include "cli/cli_session.h"

#include "cli/cli_output.h"
#include "kovra.h"
#include "writer/reader/reader_port.h"

namespace quillmate::cli {

PortSettings ChosenPort(const OperatorSettings &settings, const CardOptions &options) {
  PortSettings port = settings.port;
  if (!options.port.isEmpty()) {
    port.name = options.port;
    port.address = kDefaultReaderAddress;
  }
  if (options.baud >= 0) port.baud_rate = options.baud;
  if (options.timeout_ms >= 0) port.timeout_ms = options.timeout_ms;
  return port;
}

Language ChosenLanguage(const OperatorSettings &settings, const CardOptions &options) {
  return options.language.value_or(settings.language);
}

int OpenCliReader(const OperatorSettings &settings, const CardOptions &options) {
  const OpenedReader reader = OpenReader(ChosenPort(settings, options));
  if (!reader.ok()) {
    Error(OpenFailureText(reader) + (reader.port_name.isEmpty() ? " (--port)" : ""));
    return 0;
  }
  return reader.handle;
}

CardSession::CardSession(int handle, const OperatorSettings &settings, const CardOptions &options)
    : front_end(!options.json, options.wait_card_s),
      context(MakeWriterContext(handle, &front_end, ChosenLanguage(settings, options))) {}

CardSession::~CardSession() {
  KOVRA_ClosePort(context.handle);
}

}  // namespace quillmate::cli
