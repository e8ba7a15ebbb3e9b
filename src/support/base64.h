// Base64 in the standard alphabet with "=" padding, as stored keys use it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmate {

// The Base64 text of `bytes`: standard alphabet, "=" padding, no line breaks.
std::string EncodeBase64(const std::vector<uint8_t> &bytes);

// The bytes of a Base64 text, or nullopt when it is not one. Spaces, tabs, CR and LF anywhere are
// ignored (a hand-edited file may carry them); the rest must be whole groups of four characters of
// the standard alphabet, with at most two "=" and only at the very end.
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text);

}  // namespace quillmate
