// What every command that talks to the reader shares: the port and language chosen from the
// options and the settings, opening the reader, and the writer context around the open port.
#pragma once

#include "cli/cli_front_end.h"
#include "cli/cli_options.h"
#include "writer/cards/writer_context.h"
#include "writer/settings/settings_store.h"

namespace quillmate::cli {

// The settings' port with --port, --baud and --timeout applied (a --port name is opened as it is
// given, without the settings' bus address).
PortSettings ChosenPort(const OperatorSettings &settings, const CardOptions &options);

// The settings' language unless --lang says otherwise.
Language ChosenLanguage(const OperatorSettings &settings, const CardOptions &options);

// Opens and identifies the reader. The handle, or 0 after printing why not on stderr.
int OpenCliReader(const OperatorSettings &settings, const CardOptions &options);

// A card command's hold on an open reader: the CLI's front end and the writer context on the
// port. Closes the port when it ends.
class CardSession {
 public:
  CardSession(int handle, const OperatorSettings &settings, const CardOptions &options);
  ~CardSession();
  CardSession(const CardSession &) = delete;
  CardSession &operator=(const CardSession &) = delete;

  CliFrontEnd front_end;
  WriterContext context;
};

}  // namespace quillmate::cli
