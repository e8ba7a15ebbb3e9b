// Job files: plain-text INI files held in memory as ordered sections of ordered key/value pairs.
//
// Reading: lines are split at CR and at LF (so CR LF and LF files both read); empty lines are
// dropped; trailing TABs are cut off. "[name]" (first character "[", last "]") starts a section;
// a repeated name starts another section of that name, sections are never merged. A line starting
// with ";" is a comment, kept as a key with an empty value. Any other line is "key=value": the key
// loses its trailing spaces, the value its leading spaces (only spaces; tabs stay); a line without
// "=" is a key with an empty value. Lines before the first header belong to the unnamed section 0.
// A section exists only once a key was added to it: a header without keys leaves an unnamed, empty
// section at its place, which is not written.
//
// Writing (LF line ends): sections and keys in their order; "[name]" for each named section, a
// comment line alone, any other key as "key=value" (an entry with neither key nor value as an
// empty line, which reading drops).
//
// Section names, keys, and old against new values compare without regard to ASCII letter case.
// Texts are byte strings (UTF-8 on this system) and pass through unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillmate {

struct CSection {
  std::string name;                 // empty for the part before the first header
  std::vector<std::string> keys;    // comment lines are keys with an empty value
  std::vector<std::string> values;  // values[i] belongs to keys[i]
};

class CIniEx {
 public:
  CIniEx() = default;
  // Saves when a file was opened and its content was loaded whole (see Open), then forgets the
  // content. A failure here cannot be reported; callers that must know call Save() first.
  virtual ~CIniEx();
  CIniEx(const CIniEx &) = delete;
  CIniEx &operator=(const CIniEx &) = delete;

  // Loads `file_name` and remembers it for Save. A store that had a file open saves and empties
  // itself first. A file that does not exist is created empty. Returns false when the file can be
  // neither read nor created; the store is then empty. Returns true otherwise, also when reading
  // failed midway or the path is no regular file: the store is then empty and ErrorText() says
  // why. Write back (the destructor's Save) is on only when the file was loaded whole or did not
  // exist, so a file whose content this store never saw is never replaced.
  bool Open(const std::string &file_name);

  // Adds the sections and keys of `text` (a file's content) to the store. Marks nothing modified.
  void ParseText(std::string_view text);

  // The value of `key` in the first section named `section` (the later of two equal keys), or
  // `default_value` when the section or the key is missing.
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view default_value) const;

  // The value's leading decimal integer (after white space, with an optional sign; 0 when there
  // are no digits, clamped to the int range), or `default_value` when the value is missing or
  // empty.
  int GetInt(std::string_view section, std::string_view key, int default_value) const;

  // Sets the value, appending a missing section at the end and a missing key at the end of its
  // section. Marks the store modified unless the old value equals the new one but for letter
  // case; the new value is stored either way.
  void SetString(std::string_view section, std::string_view key, std::string_view value);

  // SetString with the value in decimal.
  void SetInt(std::string_view section, std::string_view key, int value);

  // Writes the store to its file when modified, replacing the file as a whole (a crash leaves the
  // old or the new content, never a part). Returns true when written or nothing needed writing.
  // Returns false, with ErrorText() set, the store still modified and the file untouched, when
  // the write failed or there is no file to write (none opened, or one not loaded whole).
  bool Save();

  // The store in its written form.
  std::string Text() const;

  const std::vector<CSection> &Sections() const { return sections_; }
  const std::string &FileName() const { return file_name_; }
  bool IsModified() const { return modified_; }
  // The last file error of Open or Save (up to 200 characters); empty when there was none.
  const std::string &ErrorText() const { return error_text_; }

 private:
  void Clear();
  void SetError(const std::string &message);
  void AddParsedKey(const std::string &section_name, std::string_view key, std::string_view value);
  // The index of the first section named `name`, or -1.
  std::ptrdiff_t FindSection(std::string_view name) const;

  std::string error_text_;
  std::vector<CSection> sections_;
  size_t last_section_index_ = 0;  // where parsed keys go; one more for each header read
  bool write_back_ = false;
  std::string file_name_;
  bool modified_ = false;
};

// The store as the program uses it: with a file name it opens that file at once, and its
// destructor writes the changes back; without one it is an empty store (fill it with ParseText).
class CPrivateProfile : public CIniEx {
 public:
  CPrivateProfile() = default;
  explicit CPrivateProfile(const std::string &file_name) { Open(file_name); }
};

}  // namespace quillmate
