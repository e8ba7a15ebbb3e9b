// The hex frame trace on stderr, switched on by KOVRA_FRAME_TRACE=1 in the environment. Off by
// default, and it must stay so: a trace of an authentication with a known key (a factory-fresh
// card) gives the session key and with it every key sent afterwards. When off it costs one flag
// test.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kovra {

bool FrameLogEnabled();
// direction: '>' for a frame sent, '<' for a reply taken from the receive buffer.
void LogFrame(char direction, int handle, const uint8_t *bytes, size_t count);

}  // namespace kovra
