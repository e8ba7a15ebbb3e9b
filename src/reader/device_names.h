// Model names of the readers by device type code (three hexadecimal digits from the version
// answer).
#pragma once

#include <string>

namespace kovra {

// The model name of a device type code; "KV-#" and the code as three uppercase hex digits for a
// code the table does not know (e.g. "KV-#1A3").
std::string DeviceName(int device_type);

}  // namespace kovra
