// Job files: plain-text INI files held in memory as ordered sections of ordered key/value pairs.
#include "support/ini_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "support/atomic_file.h"

namespace quillmate {
namespace {

// Job files are a few hundred bytes; a bigger "file" is a wrong path (a device, a log).
constexpr size_t kMaxFileSize = 16 * 1024 * 1024;
constexpr size_t kMaxErrorText = 200;

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// The index of the last key equal to `key`, or -1.
std::ptrdiff_t FindKey(const CSection &section, std::string_view key) {
  for (size_t i = section.keys.size(); i-- > 0;) {
    if (EqualNoCase(section.keys[i], key)) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

// The leading decimal integer of `text` as atoi reads it, but clamped instead of overflowing.
int LeadingInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long magnitude = 0;
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude >= limit) {
      magnitude = limit;
      break;
    }
  }
  return static_cast<int>(negative ? -magnitude : magnitude);
}

// Reads all of `fd`. False with `error` set when the read fails or the file is too big.
bool ReadWholeFile(int fd, std::string &content, std::string &error) {
  char buffer[8192];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      return false;
    }
    if (got == 0) return true;
    if (content.size() + static_cast<size_t>(got) > kMaxFileSize) {
      error = "file too large";
      return false;
    }
    content.append(buffer, static_cast<size_t>(got));
  }
}

}  // namespace

CIniEx::~CIniEx() {
  if (write_back_) Save();
  Clear();
}

void CIniEx::Clear() {
  sections_.clear();
  last_section_index_ = 0;
  write_back_ = false;
  file_name_.clear();
  modified_ = false;
}

void CIniEx::SetError(const std::string &message) {
  error_text_ = message.substr(0, kMaxErrorText);
}

bool CIniEx::Open(const std::string &file_name) {
  if (!file_name_.empty()) {
    if (write_back_) Save();
    Clear();
  }
  error_text_.clear();
  file_name_ = file_name;

  // O_NONBLOCK: a FIFO at the path must not stall the program until some writer turns up.
  const int fd = open(file_name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int open_errno = errno;
    if (open_errno != ENOENT) {
      SetError("Cannot open " + file_name + ": " + std::strerror(open_errno));
      return false;  // it exists but cannot be read: write back stays off
    }
    // A job file that does not exist yet: create it empty, and write changes there later.
    write_back_ = true;
    const int created = open(file_name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (created < 0) {
      SetError("Cannot create " + file_name + ": " + std::strerror(errno));
      return false;
    }
    close(created);
    return true;
  }

  struct stat state {};
  std::string content;
  std::string error;
  if (fstat(fd, &state) != 0) {
    error = std::strerror(errno);
  } else if (!S_ISREG(state.st_mode)) {
    error = "not a regular file";
  } else {
    ReadWholeFile(fd, content, error);
  }
  close(fd);
  if (!error.empty()) {
    SetError("Cannot read " + file_name + ": " + error);
    return true;
  }
  write_back_ = true;
  ParseText(content);
  return true;
}

void CIniEx::AddParsedKey(const std::string &section_name, std::string_view key,
                          std::string_view value) {
  if (sections_.size() <= last_section_index_) sections_.resize(last_section_index_ + 1);
  CSection &section = sections_[last_section_index_];
  section.name = section_name;
  section.keys.emplace_back(key);
  section.values.emplace_back(value);
}

void CIniEx::ParseText(std::string_view text) {
  std::string section_name;
  size_t position = 0;
  while (position < text.size()) {
    size_t end = text.find_first_of("\r\n", position);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(position, end - position);
    position = end + 1;
    if (line.empty()) continue;
    while (!line.empty() && line.back() == '\t') line.remove_suffix(1);

    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      ++last_section_index_;
      section_name = std::string(line.substr(1, line.size() - 2));
    } else if (!line.empty() && line.front() == ';') {
      AddParsedKey(section_name, line, {});
    } else {
      const size_t equals = line.find('=');
      std::string_view key = line.substr(0, equals);
      std::string_view value =
          equals == std::string_view::npos ? std::string_view{} : line.substr(equals + 1);
      while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
      while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
      AddParsedKey(section_name, key, value);
    }
  }
}

std::ptrdiff_t CIniEx::FindSection(std::string_view name) const {
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (EqualNoCase(sections_[i].name, name)) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

std::string CIniEx::GetString(std::string_view section, std::string_view key,
                              std::string_view default_value) const {
  const std::ptrdiff_t found = FindSection(section);
  if (found < 0) return std::string(default_value);
  const CSection &in = sections_[static_cast<size_t>(found)];
  const std::ptrdiff_t index = FindKey(in, key);
  if (index < 0) return std::string(default_value);
  return in.values[static_cast<size_t>(index)];
}

int CIniEx::GetInt(std::string_view section, std::string_view key, int default_value) const {
  const std::string value = GetString(section, key, {});
  return value.empty() ? default_value : LeadingInt(value);
}

void CIniEx::SetString(std::string_view section, std::string_view key, std::string_view value) {
  std::ptrdiff_t found = FindSection(section);
  if (found < 0) {
    sections_.push_back(CSection{std::string(section), {}, {}});
    last_section_index_ = sections_.size() - 1;
    found = static_cast<std::ptrdiff_t>(last_section_index_);
    modified_ = true;
  }
  CSection &in = sections_[static_cast<size_t>(found)];
  const std::ptrdiff_t index = FindKey(in, key);
  if (index < 0) {
    in.keys.emplace_back(key);
    in.values.emplace_back(value);
    modified_ = true;
    return;
  }
  std::string &stored = in.values[static_cast<size_t>(index)];
  if (!EqualNoCase(stored, value)) modified_ = true;
  stored = std::string(value);
}

void CIniEx::SetInt(std::string_view section, std::string_view key, int value) {
  SetString(section, key, std::to_string(value));
}

std::string CIniEx::Text() const {
  std::string text;
  for (const CSection &section : sections_) {
    if (!section.name.empty()) text += "[" + section.name + "]\n";
    for (size_t i = 0; i < section.keys.size(); ++i) {
      const std::string &key = section.keys[i];
      if (!key.empty() && key.front() == ';') {
        text += key;
      } else {
        // "=" also before the value of a key without a name: written bare, "=x" would read
        // back as a key "x", and a value starting with "=" would lose one with every save.
        text += key;
        if (!key.empty() || !section.values[i].empty()) text += '=';
        text += section.values[i];
      }
      text += '\n';
    }
  }
  return text;
}

bool CIniEx::Save() {
  if (!modified_) return true;
  if (!write_back_ || file_name_.empty()) {
    SetError(file_name_.empty() ? "No file to save to"
                                : "Not saved: " + file_name_ + " was not loaded whole");
    return false;
  }
  std::string error;
  if (!ReplaceFileContent(file_name_, Text(), error)) {
    SetError(error);
    return false;
  }
  modified_ = false;
  return true;
}

}  // namespace quillmate
