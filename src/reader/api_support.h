// Helpers shared by the exported functions.
#pragma once

#include <cstring>

#include "reader/byte_array.h"
#include "reader/port.h"

namespace kovra {

// The "data" result convention: copies the answer into the caller's buffer and returns its
// length; when it does not fit (a NULL buffer holds nothing), stores error 5 and returns -1
// without touching the buffer.
inline int CopyAnswer(CKOVRA_Port &port, const CMyByteArray &answer, unsigned char *buffer,
                      int size) {
  const size_t capacity = buffer != nullptr && size > 0 ? static_cast<size_t>(size) : 0;
  if (answer.GetSize() > capacity) {
    port.SetLastError(5);
    return -1;
  }
  if (!answer.IsEmpty()) std::memcpy(buffer, answer.GetData(), answer.GetSize());
  return static_cast<int>(answer.GetSize());
}

}  // namespace kovra
