// The "data" result convention of the library's calls that hand an answer to the caller.
#pragma once

#include <cstring>

#include "kovra.h"
#include "reader/byte_array.h"
#include "reader/port.h"

namespace kovra {

// Copies the answer into the caller's buffer and returns its length; when it does not fit (a
// NULL buffer holds nothing), stores KOVRA_ERR_BUFFER_SMALL and returns -1 without touching the
// buffer.
inline int CopyAnswer(CKOVRA_Port &port, const CMyByteArray &answer, unsigned char *buffer,
                      int size) {
  const size_t capacity = buffer != nullptr && size > 0 ? static_cast<size_t>(size) : 0;
  if (answer.GetSize() > capacity) {
    port.SetLastError(KOVRA_ERR_BUFFER_SMALL);
    return -1;
  }
  if (!answer.IsEmpty()) std::memcpy(buffer, answer.GetData(), answer.GetSize());
  return static_cast<int>(answer.GetSize());
}

}  // namespace kovra
