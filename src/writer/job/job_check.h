// The outcome of a check on the write job: passed, or refused with the operator's message and the
// field the front end puts the focus on.
#pragma once

#include <QString>

namespace quillmate {

// The job field a refusal points at; the front end moves the focus there.
enum class JobField {
  kNone,  // the refusal concerns no single field (e.g. no read access at all)
  kData,
  kLength,
  kAppId,
  kFileId,
  kFileMode,
  kNumberFormat,
  kRepresentation,
  kOrientation,
  kKeyCount,
  kCardKey,
  kAppKey,
  kReadKey,
  kWriteKey,
  kReadWriteKey,
  kSystemIdentifier,
};

struct JobCheck {
  bool ok = true;
  QString message;  // the status line for a refusal; empty when passed
  JobField field = JobField::kNone;
  bool select_all = false;  // select the field's whole text before focusing it

  static JobCheck Passed() { return {}; }
  static JobCheck Refused(QString text, JobField at, bool select = false) {
    return {false, std::move(text), at, select};
  }
};

}  // namespace quillmate
