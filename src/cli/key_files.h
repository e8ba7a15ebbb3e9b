// Keys read from files or standard input. A key given as an argument (--card-key, CardKey=...)
// shows in `ps` and /proc/PID/cmdline to every user of the machine; a key file only to those who
// may read it.
#pragma once

#include <QString>

namespace quillmate::cli {

// The file name that stands for standard input.
inline constexpr char kStandardInputName[] = "-";

// Reads keys for one command line. Standard input can be read only once, so it gives one key.
class KeyFileReader {
 public:
  // The key in the file `path` ("-": standard input, read to its end): the whole file with one
  // trailing line end ("\n" or "\r\n") removed, which must be exactly 32 hex digits. False after
  // saying why on stderr, beginning with `source` (what the operator wrote, e.g.
  // "--card-key-file keys/card.key") and never quoting the file's content.
  bool Read(const QString &path, const QString &source, QString &key);

 private:
  bool standard_input_read_ = false;
};

}  // namespace quillmate::cli
