// Job files: a write job kept in a file of its own, so several card series can be kept side by
// side. An INI text with one section "Settings" holding the job keys in a fixed order; the keys
// stored obfuscated like in the settings. Operator settings never go into a job file.
#pragma once

#include <QString>
#include <utility>

#include "writer/job/desfire_set.h"
#include "writer/run/operations.h"

namespace quillmate {

// The default extension of job files, without the dot.
inline constexpr char kJobFileExtension[] = "KVMFDat";

// `path` with ".KVMFDat" appended when its file name has no extension; otherwise unchanged.
QString WithJobFileExtension(const QString &path);

// Outcome of a job file operation: ok, or a message naming the file or the key.
struct JobFileResult {
  bool ok = true;
  QString message;
};

// Reads the job keys of `path` into `job`. A missing key takes its default; these equal the
// settings' first-start defaults except "AutoIncrement" and "Darstellung", which default to 0 (off,
// binary). A key that does not decipher is empty. Fails, leaving `job` unchanged, only when the
// file cannot be read (a missing file is not created).
JobFileResult LoadJobFile(const QString &path, DesfireSet &job);

// Writes every job key to `path` in the job file's order. Other sections and keys of an existing
// file are kept. The file is replaced as a whole: a crash leaves the old or the new content. Fails
// with the file untouched when a text value holds a line break (it would split the line and be
// read back as another key), when an existing file cannot be read, or when writing fails.
JobFileResult SaveJobFile(const QString &path, const DesfireSet &job);

// Replaces "Wert" alone in the job file `path`, as a whole-file replacement.
JobFileResult StoreJobFileValue(const QString &path, const QString &value);

// Reads "Wert" of the job file `path` and stores what `change` makes of it, under the exclusive
// lock that every process sharing the file takes for it ("<path>.lck").
JobFileResult UpdateJobFileValue(const QString &path, const ValueStore::Change &change);

// A job file's data text as the store of a counting series.
class JobFileValueStore : public ValueStore {
 public:
  explicit JobFileValueStore(QString path) : path_(std::move(path)) {}

 protected:
  bool LockedUpdate(const Change &change) override {
    const JobFileResult result = UpdateJobFileValue(path_, change);
    SetFailure(result.message);
    return result.ok;
  }

 private:
  QString path_;
};

}  // namespace quillmate
