// What the command line asked for, shared by the commands; empty texts and negative numbers: not
// given.
#pragma once

#include <QString>
#include <optional>

#include "writer/language/language.h"

namespace quillmate::cli {

struct CardOptions {
  QString port;
  int baud = -1;
  int timeout_ms = -1;
  std::optional<Language> language;  // --lang
  bool json = false;
  QString job_file;
  QString value;
  bool value_given = false;
  int count = 0;  // 0: single run
  bool cycle = false;
  QString log_file;
  int wait_card_s = 10;
  QString card_key;  // format: the card master key (hex); empty: the job's "CardKey"
  bool card_key_given = false;
  QString aid;      // delete-app: the application to delete (hex)
  QString app_key;  // delete-app: its master key (hex); empty: the job's "AppKey"
  bool app_key_given = false;
  bool yes = false;
  QString series_db;     // --series-db: the series' PostgreSQL database (instead of the settings')
  QString series;        // --series: the series' name (instead of the settings' or the default)
  bool reissue = false;  // write: a value the ledger holds is written again as a reissue
  int wait_db_s = 0;     // write: how long a ledger that fails is waited for
  bool verify = false;   // write: read each card back (also on when the settings ask for it)  //
                         // format, delete-app: erase without asking on a terminal
};

}  // namespace quillmate::cli
