// Asking the operator for the reader's port. Until the port selection dialog exists this is a
// plain input of the port name (a device such as /dev/ttyUSB0, or a /dev/serial/by-id/ name).
#pragma once

#include "writer/settings_store.h"

class QWidget;

namespace quillmate::ui {

// Asks for the port name, starting with port.name; true with port.name set when the operator
// confirms a name that is not empty, false when the operator cancels.
bool AskForPortName(QWidget *parent, PortSettings &port);

}  // namespace quillmate::ui
