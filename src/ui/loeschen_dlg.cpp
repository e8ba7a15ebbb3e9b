// The "Löschen" dialog: erasing the card on the reader or removing one application from it.
#include "ui/loeschen_dlg.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <utility>

#include "ui/busy_guard.h"
#include "ui/field_label.h"
#include "ui/hex_edit.h"
#include "ui/message_box.h"
#include "writer/job/key_plan.h"

namespace quillmate::ui {
namespace {

constexpr int kAppIdDigits = 6;

CHexEdit *HexField(const QString &name, const QString &text, int max_digits, QWidget *parent) {
  auto *field = new CHexEdit(parent);
  field->setObjectName(name);
  // A longer text from the job is shown whole (and refused by the field check), not cut to a
  // different value.
  field->setMaxLength(std::max<int>(max_digits, static_cast<int>(text.size())));
  field->setText(text);
  return field;
}

CHexEdit *KeyField(const QString &name, const QString &key, bool show_keys, QWidget *parent) {
  CHexEdit *field = HexField(name, key, kMaxKeyDigits, parent);
  field->setEchoMode(show_keys ? QLineEdit::Normal : QLineEdit::Password);
  field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QString(kMaxKeyDigits + 2, u'D')));
  return field;
}

QCheckBox *DeriveSwitch(const QString &name, bool on, QWidget *parent) {
  auto *derived = new QCheckBox(CLoeschenDlg::tr("pro Karte ableiten"), parent);
  derived->setObjectName(name);
  derived->setChecked(on);
  return derived;
}

QPushButton *ActionButton(const QString &text, const QString &name, QWidget *parent) {
  auto *button = new QPushButton(text, parent);
  button->setObjectName(name);
  // Return in a key field must not format a card.
  button->setAutoDefault(false);
  return button;
}

}  // namespace

CLoeschenDlg::CLoeschenDlg(int handle, Language language, const DeleteFields &fields,
                           bool show_keys, QWidget *parent)
    : QDialog(parent),
      app_id_(HexField(QStringLiteral("appId"),
                       QString::number(static_cast<unsigned>(fields.app_id), 16).toUpper(),
                       kAppIdDigits, this)),
      card_master_key_(
          KeyField(QStringLiteral("cardMasterKey"), fields.card_master_key, show_keys, this)),
      app_master_key_(
          KeyField(QStringLiteral("appMasterKey"), fields.app_master_key, show_keys, this)),
      card_master_key_derived_(DeriveSwitch(QStringLiteral("cardMasterKeyDerived"),
                                            fields.card_master_key_derived, this)),
      app_master_key_derived_(
          DeriveSwitch(QStringLiteral("appMasterKeyDerived"), fields.app_master_key_derived, this)),
      system_identifier_(fields.system_identifier),
      status_(new QPlainTextEdit(this)),
      context_(MakeWriterContext(handle, this, language)) {
  setWindowTitle(tr("Löschen"));
  status_->setObjectName(QStringLiteral("status"));
  status_->setReadOnly(true);
  status_->setFixedHeight(status_->fontMetrics().lineSpacing() * 3 + 12);

  QPushButton *format = ActionButton(tr("Karte formatieren"), QStringLiteral("formatCard"), this);
  QPushButton *remove =
      ActionButton(tr("Applikation löschen"), QStringLiteral("deleteApplication"), this);
  QPushButton *close = ActionButton(tr("Schliessen"), QStringLiteral("close"), this);
  connect(format, &QPushButton::clicked, this, &CLoeschenDlg::FormatCard);
  connect(remove, &QPushButton::clicked, this, &CLoeschenDlg::DeleteApplication);
  connect(close, &QPushButton::clicked, this, &CLoeschenDlg::reject);

  auto *grid = new QGridLayout;
  const std::pair<QString, QWidget *> rows[] = {{tr("App ID:"), app_id_},
                                                {tr("Card Master Key:"), card_master_key_},
                                                {tr("App Master Key:"), app_master_key_},
                                                {tr("Status:"), status_}};
  int row = 0;
  for (const auto &[caption, widget] : rows) {
    grid->addWidget(FieldLabel(caption, widget, this), row, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(widget, row++, 1);
  }
  card_master_key_derived_->setAccessibleName(tr("Card Master Key pro Karte ableiten"));
  app_master_key_derived_->setAccessibleName(tr("App Master Key pro Karte ableiten"));
  grid->addWidget(card_master_key_derived_, 1, 2);
  grid->addWidget(app_master_key_derived_, 2, 2);
  auto *buttons = new QHBoxLayout;
  buttons->addWidget(format);
  buttons->addWidget(remove);
  buttons->addStretch();
  buttons->addWidget(close);

  auto *layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
}

void CLoeschenDlg::FormatCard() {
  Run(&quillmate::FormatCard, FormatCardQuestion());
}

void CLoeschenDlg::DeleteApplication() {
  Run(&quillmate::DeleteApplication, DeleteApplicationQuestion(Fields()));
}

void CLoeschenDlg::Run(Action action, const QString &question) {
  status_->clear();
  // Erasing cannot be undone: the operator confirms what will be lost. Refused fields are shown
  // by the action itself before anything reaches the card, so they need no question.
  // Without a reader the action says so at once.
  if (context_.handle > 0 && CheckDeleteFields(Fields()).ok &&
      ShowMessageBox(this, question, BoxIcon::kQuestion, BoxButtons::kYesNo) != BoxAnswer::kYes) {
    status_->setPlainText(tr("Nichts gelöscht."));
    return;
  }
  RunResult result;
  {
    BusyGuard busy;
    result = action(context_, Fields());
  }
  for (const QString &message : std::exchange(held_messages_, {})) {
    ShowMessageBox(this, message, BoxIcon::kWarning);
  }
  if (!result.check.ok) FocusField(result.check.field, result.check.select_all);
}

DeleteFields CLoeschenDlg::Fields() const {
  // A value beyond int (a negative text reads as its two's complement) stays out of range.
  const unsigned app_id = std::min<unsigned>(HexTextValue(*app_id_), INT_MAX);
  DeleteFields fields;
  fields.app_id = static_cast<int>(app_id);
  fields.card_master_key = card_master_key_->text();
  fields.app_master_key = app_master_key_->text();
  fields.card_master_key_derived = card_master_key_derived_->isChecked();
  fields.app_master_key_derived = app_master_key_derived_->isChecked();
  fields.system_identifier = system_identifier_;
  return fields;
}

void CLoeschenDlg::FocusField(JobField field, bool select_all) {
  CHexEdit *edit = field == JobField::kAppId     ? app_id_
                   : field == JobField::kCardKey ? card_master_key_
                   : field == JobField::kAppKey  ? app_master_key_
                                                 : nullptr;
  if (!edit) return;
  edit->setFocus();
  if (select_all) edit->selectAll();
}

void CLoeschenDlg::AppendStatusLine(const QString &line) {
  status_->setPlainText(line);
}

FrontEnd::Answer CLoeschenDlg::AskRetryCancel(const QString & /*question*/) {
  // Formatting and deleting never ask. Were they to, the operator could not answer while the busy
  // guard drops the input, so the action ends instead of waiting forever.
  return Answer::kCancel;
}

void CLoeschenDlg::ShowMessage(const QString &text) {
  // A box shown under the busy guard could not be acknowledged. A refused field ends the action
  // before anything reaches the card, so the box follows at once.
  if (BusyGuard::Busy()) {
    held_messages_.append(text);
    return;
  }
  ShowMessageBox(this, text, BoxIcon::kWarning);
}

}  // namespace quillmate::ui
