// The per-user settings store: the write job and the operator's settings survive a restart in an
// INI file kept by QSettings, one group per section ("Settings", "Protokoll", "Port", "Version").
// Every key is stored obfuscated (CCryptText with kStoredKeyObfuscationPhrase), never in clear; the
// file's mode 0600 is what keeps the keys from other users.
//
// A missing or unreadable value takes its default; loading reports no errors. Saving syncs the file
// at once and reports whether it reached the disk.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>

#include "writer/job/desfire_set.h"
#include "writer/language/language.h"
#include "writer/run/operations.h"

namespace quillmate {

inline constexpr char kSettingsOrganisation[] = "Ulo Applikationen";
inline constexpr char kSettingsApplication[] = "KV-DESFire Quillmate";

// Defaults of the "Port" section for opening the reader.
inline constexpr int kDefaultBaudRate = 19200;
inline constexpr int kDefaultPortTimeoutMs = 500;
inline constexpr int kDefaultReaderAddress = 1;

// The reader port the operator chose ("Port" section).
struct PortSettings {
  QString name;  // "Name": the port list entry with its prefix; empty until one was chosen
  int baud_rate = kDefaultBaudRate;        // "Baudrate": baud plus framing code
  int timeout_ms = kDefaultPortTimeoutMs;  // "Timeout"
  int address = kDefaultReaderAddress;     // "Adresse": bus address
  bool ethernet_active = false;            // "EthernetAktiv": network readers are searched
};

// Where the series' ledger lives ("Serie" section; set by hand or by a line's roll-out, the
// window does not edit them).
struct SeriesSettings {
  QString database;  // "Datenbank": a PostgreSQL connection string or "service=NAME"; empty:
                     // the SQLite ledger beside the value store
  QString name;      // "Name": the series' name; empty: the job's application, file and source
};

// Everything persisted that is not part of the job.
struct OperatorSettings {
  Language language = Language::kGerman;  // "Sprache"
  bool show_keys = true;  // "KeysAnzeigen": keys shown in clear rather than as asterisks
  LogSettings logs;       // "Protokoll" section
  int cycle_period_ms = kDefaultCyclePeriodMs;  // "ZyklusZeit"
  int beep_time_ms = kDefaultBeepTimeMs;        // "BeepTime"
  bool verify_after_write = false;              // "VerifyAfterWrite": read each written card back
  PortSettings port;
  bool update_check = true;  // "Version"/"Update": check for an update at start-up
  QString update_address;    // "Version"/"Address": the version list's https address
  QString update_ca_file;    // "Version"/"CaFile": a private mirror's certificate authority
  SeriesSettings series;
};

// A key's hex text in its obfuscated stored form and back (CCryptText with
// kStoredKeyObfuscationPhrase): "" stays "", and a stored text that does not decipher gives "".
QString ObfuscateKey(const QString &key);
QString DeobfuscateKey(const QString &stored);

// The default log file in the documents folder: "Protokoll_S.txt" (write) or "Protokoll_L.txt".
QString DefaultLogFile(bool write_log);

class SettingsStore {
 public:
  // The per-user store ($XDG_CONFIG_HOME/Ulo Applikationen/KV-DESFire Quillmate.ini).
  SettingsStore();
  // The store as "KV-DESFire Quillmate.ini" in `folder` (tests, the CLI's --config DIR). The
  // folder is created when the store is first written.
  explicit SettingsStore(const QString &folder);
  ~SettingsStore();
  SettingsStore(const SettingsStore &) = delete;
  SettingsStore &operator=(const SettingsStore &) = delete;

  // The path of the INI file behind the store.
  QString FileName() const;

  // False when the file exists but could not be read as settings (damaged, not an INI text, a
  // value with an unquoted comma or a number beyond the integer's range, no permission) or is a
  // symbolic link or no regular file (never followed). Such a store is never written: every save
  // and value change fails, so that what the file held is not replaced by defaults without the
  // operator's say, and front ends refuse card operations on it (Problem() names the file and,
  // where one is at fault, the key).
  bool Readable() const { return readable_; }
  QString Problem() const;

  // The job as stored, each missing value with its first-start default, keys deciphered (a key
  // that does not decipher is empty, and named in `unreadable_keys` when given).
  DesfireSet LoadJob(QStringList *unreadable_keys = nullptr) const;
  // Writes every job value and syncs. True when the file was written.
  bool SaveJob(const DesfireSet &job);

  // The operator settings with their defaults. A missing or out-of-range cycle period or beep
  // time is written back with its default at once (the cycle settings do so on every start).
  OperatorSettings LoadOperatorSettings();
  // Writes every operator value and syncs. True when the file was written.
  bool SaveOperatorSettings(const OperatorSettings &settings);

  // Makes `value` the stored "Wert" and syncs at once. True when it reached the file.
  bool StoreValue(const QString &value);

  // Reads "Wert" afresh from the file and stores what `change` makes of it, under the exclusive
  // lock that every process sharing this file takes for it. True when done; false when the lock
  // or the file failed, ValueFailure() then naming the file and the reason.
  bool UpdateValue(const ValueStore::Change &change);
  const QString &ValueFailure() const { return value_failure_; }

 private:
  bool Sync();
  void CheckReadable();
  bool FileIsSettingsText();
  void Refuse(const QString &problem);
  QString DamagedText() const;
  QString SyncFailure() const;
  void CreatePrivateFile();

  std::unique_ptr<QSettings> settings_;
  bool readable_ = true;
  QString problem_;
  QString sync_reason_;
  QString value_failure_;
};

// The settings' data text as the store of a counting series.
class SettingsValueStore : public ValueStore {
 public:
  explicit SettingsValueStore(SettingsStore &store) : store_(store) {}

 protected:
  bool LockedUpdate(const Change &change) override {
    const bool done = store_.UpdateValue(change);
    SetFailure(done ? QString() : store_.ValueFailure());
    return done;
  }

 private:
  SettingsStore &store_;
};

}  // namespace quillmate
