// A very small JSON writer for the simulator's state line.
#include "sim/json.h"

namespace kovra_sim {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ += ',';
    first_.back() = false;
  }
}

JsonWriter &JsonWriter::BeginObject() {
  BeforeValue();
  out_ += '{';
  first_.push_back(true);
  return *this;
}

JsonWriter &JsonWriter::EndObject() {
  out_ += '}';
  if (!first_.empty()) first_.pop_back();
  return *this;
}

JsonWriter &JsonWriter::BeginArray() {
  BeforeValue();
  out_ += '[';
  first_.push_back(true);
  return *this;
}

JsonWriter &JsonWriter::EndArray() {
  out_ += ']';
  if (!first_.empty()) first_.pop_back();
  return *this;
}

JsonWriter &JsonWriter::Key(std::string_view key) {
  String(key);
  out_ += ':';
  after_key_ = true;
  return *this;
}

JsonWriter &JsonWriter::String(std::string_view text) {
  BeforeValue();
  out_ += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out_ += '\\';
      out_ += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      out_ += "\\u00";
      out_ += kHexDigits[byte >> 4];
      out_ += kHexDigits[byte & 0x0F];
    } else {
      out_ += c;
    }
  }
  out_ += '"';
  return *this;
}

JsonWriter &JsonWriter::Number(int64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter &JsonWriter::Unsigned(uint64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter &JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter &JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
  return *this;
}

JsonWriter &JsonWriter::Raw(std::string_view json) {
  BeforeValue();
  out_ += json;
  return *this;
}

std::string HexString(const uint8_t *bytes, size_t count) {
  std::string text;
  text.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text += kHexDigits[bytes[i] >> 4];
    text += kHexDigits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace kovra_sim
