// What every command that talks to the reader shares: the port name and baud rate chosen from the
// options and the settings, opening the reader, and the JSON lines on stdout.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include "cli/cli_io.h"
#include "writer/settings_store.h"
#include "writer/writer_context.h"

namespace quillmate::cli {

// What the global and command options asked for; empty texts and negative numbers: not given.
struct CardOptions {
  QString port;
  int baud = -1;
  int timeout_ms = -1;
  int language = -1;  // settings convention: 0 German, 1 English
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
};

// The reader's port name: the option, else the settings' "Name" with ":Adresse" for a bus address
// other than the first.
QString PortName(const OperatorSettings &settings, const CardOptions &options);

// Opens and identifies the reader. The handle, or 0 after printing why not on stderr.
int OpenReader(const OperatorSettings &settings, const CardOptions &options);

// The settings' language with --lang applied, as the writer core counts it (1 German, 0 English).
int CoreLanguage(const OperatorSettings &settings, const CardOptions &options);

// What a card command works with on an open reader: status lines on stderr, questions answered as
// CliPrompter does, and the writer context in the language of the settings or --lang.
struct CardSession {
  CardSession(int handle, const OperatorSettings &settings, const CardOptions &options)
      : prompter(status, !options.json, options.wait_card_s),
        context(MakeWriterContext(handle, status, prompter)) {
    context.language = CoreLanguage(settings, options);
  }
  CardSession(const CardSession &) = delete;
  CardSession &operator=(const CardSession &) = delete;

  StderrStatusSink status;
  CliPrompter prompter;
  WriterContext context;
};

// A UID in hex, first byte first.
QString UidHex(const QByteArray &uid);

// One compact JSON object and a line break on stdout, flushed at once (a script reads along).
void PrintJson(const QJsonObject &object);

// A line on stderr.
void Error(const QString &text);

}  // namespace quillmate::cli
