// The "list" result convention of the library's calls that hand out names.
#pragma once

#include <string>
#include <vector>

namespace kovra {

// Writes the names into `buffer` one after the other, each with its NUL, and one more NUL at the
// end. A name that does not fit together with that final NUL ends the list (the names before it
// stay). Result: the bytes used, final NUL included (1 for an empty list); 0 when `buffer` is
// null or `size` is below 1, and nothing is written then.
int WriteNameList(const std::vector<std::string> &names, char *buffer, int size);

}  // namespace kovra
