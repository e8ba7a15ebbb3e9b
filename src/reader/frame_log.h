// The hex frame trace on stderr, switched on by KOVRA_FRAME_TRACE=1 in the environment. Off by
// default; when off it costs one flag test.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kovra {

bool FrameLogEnabled();
// direction: '>' for a frame sent, '<' for a reply taken from the receive buffer.
void LogFrame(char direction, int handle, const uint8_t *bytes, size_t count);

}  // namespace kovra
