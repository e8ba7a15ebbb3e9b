// The "Löschen" dialog: erases the card on the reader completely or removes one application from
// it, outside the write job. The main window hands over its open port and, as the initial field
// values, the job's App ID and master keys; what the operator changes here stays here. The card
// work is the core's (FormatCard, DeleteApplication); the dialog is their front end, and its
// status box shows only the latest line.
#pragma once

#include <QDialog>
#include <QStringList>

#include "writer/cards/format_delete.h"
#include "writer/cards/writer_context.h"
#include "writer/front_end.h"
#include "writer/language/language.h"

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

namespace quillmate::ui {

class CHexEdit;

class CLoeschenDlg : public QDialog, private FrontEnd {
  Q_OBJECT

 public:
  // `handle`: the open port (0 when no reader is connected; every action then ends with a status
  // line). `language`: that of the library's error texts. `show_keys`: the keys in clear, or
  // masked.
  CLoeschenDlg(int handle, Language language, const DeleteFields &fields, bool show_keys,
               QWidget *parent = nullptr);

 public slots:
  // "Karte formatieren" and "Applikation löschen": each empties the status box, asks the core's
  // question naming what will be lost (No: "Nichts gelöscht."), runs the core's action with the
  // fields under a busy guard, and after a refused field shows the message and focuses that field
  // with its text selected.
  void FormatCard();
  void DeleteApplication();

 private:
  using Action = RunResult (*)(WriterContext &, const DeleteFields &);
  void Run(Action action, const QString &question);
  DeleteFields Fields() const;
  void FocusField(JobField field, bool select_all);

  // FrontEnd
  void AppendStatusLine(const QString &line) override;
  Answer AskRetryCancel(const QString &question) override;
  void ShowMessage(const QString &text) override;

  CHexEdit *app_id_;
  CHexEdit *card_master_key_;
  CHexEdit *app_master_key_;
  // "pro Karte ableiten" beside each key; the job's system identifier goes with them unchanged.
  QCheckBox *card_master_key_derived_;
  QCheckBox *app_master_key_derived_;
  QString system_identifier_;
  QPlainTextEdit *status_;
  WriterContext context_;
  // Messages of the running action, shown once its busy guard has ended.
  QStringList held_messages_;
};

}  // namespace quillmate::ui
