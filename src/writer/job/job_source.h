// Where the job of a card operation comes from: the job in the settings, or a job file the
// operator names. Either way the job comes with the store of its counting value, so that a series
// counts on where the job lives.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "writer/job/desfire_set.h"
#include "writer/run/operations.h"
#include "writer/settings/settings_store.h"

namespace quillmate {

struct JobSource {
  bool ok = false;
  // Why the job cannot be used: the job file's message, or one line per stored key that does not
  // decipher (such a key would stand for the factory default key on every card).
  QStringList errors;
  // The names of the stored keys that do not decipher ("CardKey", ...).
  QStringList unreadable_keys;
  DesfireSet job;
  // Where the next value is stored: the settings' "Wert" or the job file's.
  std::unique_ptr<ValueStore> value_store;
  // The job file (with its extension); empty for the settings.
  QString job_file;
};

// The job from `job_file` when it is not empty (".KVMFDat" added to a name without extension),
// else from `settings`. ok false with the errors when the file cannot be read or holds no job, or
// when a stored key does not decipher; `job` then holds what could be read.
JobSource LoadJobSource(SettingsStore &settings, const QString &job_file);

}  // namespace quillmate
