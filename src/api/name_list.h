// The "list" result convention of the library's calls that name devices.
#pragma once

#include <string>
#include <vector>

namespace kovra {

// Copies the names into `buffer` as NUL-terminated strings one after the other, as long as a name,
// its NUL and the closing NUL fit into `size` bytes; the first name that does not fit ends the
// list. Then the closing NUL. Result: the bytes used, closing NUL included (1 for no names); 0,
// nothing written, when the buffer is NULL or size is not positive.
int CopyNameList(const std::vector<std::string> &names, char *buffer, int size);

}  // namespace kovra
