// The keys under which a write job is kept, in one table for the settings, job files, the
// command line's "job show" / "job set" and the names in refusals. The settings and job files
// differ only in how they read and write a value and in some defaults.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "writer/job/desfire_set.h"
#include "writer/job/job_check.h"

namespace quillmate {

enum class JobKeyKind {
  kText,     // "Wert": any text
  kFlag,     // 0 or 1
  kDecimal,  // an integer, written in decimal
  kHex,      // an integer, written in decimal in the stores but shown and typed in hex
  kChoice,   // a list index from 0 to JobKey::max_choice
  kKey,      // a key's hex text (at most 32 digits); stored obfuscated
  // 0 or 1: the key of that name ("CardKey" for "CardKeyProKarte") is derived per card. Kept in
  // the key's own stored form (see kDerivedKeyMark), not under a name of its own.
  kDeriveFlag,
};

// A derived key is stored as the obfuscated text of this mark followed by the master key's hex
// digits. A program that knows no derivation deciphers the text, finds no hex key in it and
// refuses the job ("Keine Hex-Eingabe") before any card: it never writes the master key itself
// to cards.
inline constexpr char kDerivedKeyMark[] = "abgeleitet:";

struct JobKey {
  const char *name;  // "Wert", "AutoIncrement", ...
  JobKeyKind kind;
  JobField field;  // the field a refusal of this key points at (kNone: none)
  int max_choice;  // kChoice: the highest index
  // Integer keys (flag, decimal, hex, choice): the value in the job.
  std::function<int(const DesfireSet &)> get_int;
  std::function<void(DesfireSet &, int)> set_int;
  // Text keys (text, key): the text in the job, keys in clear.
  std::function<QString(const DesfireSet &)> get_text;
  std::function<void(DesfireSet &, const QString &)> set_text;
  // kKey: whether the key is derived per card (its stored mark); kDeriveFlag: the key it
  // switches.
  bool DesfireSet::*derived = nullptr;

  bool IsText() const { return kind == JobKeyKind::kText || kind == JobKeyKind::kKey; }
};

// Every job key, in the order job files hold them (and the settings write them).
const std::vector<JobKey> &JobKeys();

// The key of that name, or null.
const JobKey *FindJobKey(const QString &name);

// The job key a refusal's field stands for ("Wert", "AppID", ...); empty for JobField::kNone.
QString JobFieldKeyName(JobField field);

// The keys whose derive flag is on, as "CardKey", "AppKey", ...: these hold master keys.
QStringList DerivedKeyNames(const DesfireSet &job);

// A key's value as "job show" prints it: integers in decimal, AppID and FileID in hex, texts as
// they are.
QString JobKeyText(const JobKey &key, const DesfireSet &job);

// Takes a typed text into the job. False, leaving the job unchanged, when the text is no value of
// the key: not 0/1 for a flag or derive flag, no decimal (hex) integer, an index beyond the
// choices, a key text that is neither empty nor exactly 32 hex digits. Key texts are kept in upper
// case.
bool SetJobKeyText(const JobKey &key, DesfireSet &job, const QString &text);

using ReadIntFn = std::function<int(const char *key, int fallback)>;
using ReadTextFn = std::function<QString(const char *key)>;
using WriteIntFn = std::function<void(const char *key, int value)>;
using WriteTextFn = std::function<void(const char *key, const QString &value)>;

// The job from a store; a key the store lacks takes its value from `defaults`. Keys are stored
// obfuscated and come back in clear; a stored key with kDerivedKeyMark comes back without it and
// its derive flag on (off for every key without it, as in files of older programs). A stored key
// that does not decipher comes back empty and its name ("CardKey", ...) is added to
// `unreadable_keys` when given: an empty key means the factory default, which is not what the store
// held.
DesfireSet ReadJobValues(const ReadIntFn &read_int, const ReadTextFn &read_text,
                         const DesfireSet &defaults, QStringList *unreadable_keys = nullptr);

// Writes every key of the job, in the order job files hold them; keys go out obfuscated, a derived
// key with kDerivedKeyMark before its digits.
void WriteJobValues(const DesfireSet &job, const WriteIntFn &write_int,
                    const WriteTextFn &write_text);

}  // namespace quillmate
