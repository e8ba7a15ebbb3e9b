// A very small JSON writer for the simulator's state line: objects, arrays, strings, numbers,
// booleans and null, written in order with the commas put in for the caller. No pretty printing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovra_sim {

class JsonWriter {
 public:
  JsonWriter &BeginObject();
  JsonWriter &EndObject();
  JsonWriter &BeginArray();
  JsonWriter &EndArray();
  // The key of the next value inside an object.
  JsonWriter &Key(std::string_view key);
  // Bytes outside printable ASCII are written as \u00XX (each byte read as Latin-1), so the
  // output stays one line of valid UTF-8 whatever the input.
  JsonWriter &String(std::string_view text);
  JsonWriter &Number(int64_t value);
  JsonWriter &Unsigned(uint64_t value);
  JsonWriter &Bool(bool value);
  JsonWriter &Null();
  // A value that is already JSON (a card's own state).
  JsonWriter &Raw(std::string_view json);

  const std::string &Text() const { return out_; }

 private:
  void BeforeValue();

  std::string out_;
  std::vector<bool> first_;  // per open container: no element written yet
  bool after_key_ = false;
};

// "0123AB" for these bytes: uppercase hex without separators.
std::string HexString(const uint8_t *bytes, size_t count);
template <typename Container>
std::string HexString(const Container &bytes) {
  return HexString(bytes.data(), bytes.size());
}

}  // namespace kovra_sim
