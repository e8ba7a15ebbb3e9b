// The window's field exchange: its fields into the job and back, the access lists, the data
// field's input limit, the enabling of the controls, and the handlers of the job's fields.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

#include "ui/hex_edit.h"
#include "ui/lamp_panel.h"
#include "ui/message_box.h"
#include "ui/quillmate_dlg.h"
#include "writer/job/data_codec.h"

namespace quillmate::ui {
namespace {

// Runs `body` unless a field exchange is already running: a refusal's message box takes the focus
// from the field, and the field's "left" signal must not start a second exchange meanwhile.
template <typename Body>
void Exclusive(bool &running, Body body) {
  if (running) return;
  running = true;
  body();
  running = false;
}

}  // namespace

void CQuillmateDlg::FocusField(JobField field, bool select_all) {
  QLineEdit *edit = nullptr;
  QWidget *widget = nullptr;
  switch (field) {
    case JobField::kData:
      edit = form_.data;
      break;
    case JobField::kLength:
      edit = form_.length;
      break;
    case JobField::kAppId:
      edit = form_.app_id;
      break;
    case JobField::kFileId:
      edit = form_.file_id;
      break;
    case JobField::kKeyCount:
      edit = form_.key_count;
      break;
    case JobField::kCardKey:
      edit = form_.card_key;
      break;
    case JobField::kAppKey:
      edit = form_.app_key;
      break;
    case JobField::kReadKey:
      edit = form_.read.key;
      break;
    case JobField::kWriteKey:
      edit = form_.write.key;
      break;
    case JobField::kReadWriteKey:
      edit = form_.read_write.key;
      break;
    case JobField::kFileMode:
      widget = form_.file_mode;
      break;
    case JobField::kNumberFormat:
      widget = form_.decimal;
      break;
    case JobField::kRepresentation:
      widget = form_.ascii;
      break;
    case JobField::kOrientation:
      widget = form_.normal;
      break;
    case JobField::kNone:
      return;
  }
  if (edit != nullptr) {
    edit->setFocus();
    if (select_all) edit->selectAll();
  } else if (widget != nullptr) {
    widget->setFocus();
  }
}

void CQuillmateDlg::ShowRefusal(const JobCheck &check) {
  if (check.ok) return;
  AppendStatusLine(check.message);
  FocusField(check.field, check.select_all);
}

bool CQuillmateDlg::TakeOver() {
  // The numeric fields first: a refused one is shown in a message box, as the field exchange
  // does, and cancels the action that asked for it.
  const struct {
    QLineEdit *edit;
    FieldValue (*parse)(QStringView);
    int *target;
  } numbers[] = {
      {form_.app_id, ParseAppId, &job_.app_id},
      {form_.file_id, ParseFileId, &job_.file_id},
      {form_.length, ParseLength, &job_.length},
      {form_.key_count, ParseKeyCount, &job_.key_count},
  };
  for (const auto &number : numbers) {
    const FieldValue value = number.parse(number.edit->text());
    if (!value.check.ok) {
      // The box and the focus move make other fields lose the focus; their handlers must not
      // start an exchange of their own meanwhile (it would show the same refusal again).
      const bool was_exchanging = exchanging_;
      exchanging_ = true;
      ShowMessageBox(this, value.check.message, BoxIcon::kWarning);
      number.edit->setFocus();
      number.edit->selectAll();
      exchanging_ = was_exchanging;
      return false;
    }
    *number.target = value.value;
  }
  job_.number_format = form_.hexadecimal->isChecked() ? NumberFormat::kHexadecimal
                       : form_.decimal->isChecked()   ? NumberFormat::kDecimal
                                                      : NumberFormat::kNone;
  job_.representation = form_.ascii->isChecked() ? Representation::kAscii : Representation::kBinary;
  job_.orientation = form_.rotated->isChecked() ? Orientation::kRotated : Orientation::kNormal;
  job_.file_mode = static_cast<FileMode>(qMax(0, form_.file_mode->currentIndex()));
  job_.card_key = form_.card_key->text();
  job_.app_key = form_.app_key->text();
  job_.read_key = form_.read.key->text();
  job_.write_key = form_.write.key->text();
  job_.read_write_key = form_.read_write.key->text();
  job_.read_key_nr = form_.read.list->currentIndex();
  job_.write_key_nr = form_.write.list->currentIndex();
  job_.read_write_key_nr = form_.read_write.list->currentIndex();
  job_.auto_increment = form_.auto_increment->isChecked();
  job_.leading_zeros = form_.leading_zeros->isChecked();
  job_.prefix_allowed = form_.prefix_allowed->isChecked();
  job_.data = form_.data->text();
  if (form_.data->isModified()) {
    // Only a value the operator typed reaches the series; what the field shows otherwise (the
    // next value, a value read from a card) is for the eye.
    if (!TakeTypedValue(job_.data)) return false;
    form_.data->setModified(false);
  }
  return true;
}

bool CQuillmateDlg::TakeTypedValue(const QString &typed) {
  const QString next = operations_->StoredSeriesNext();
  if (typed == next) return true;
  // A value no card could take never becomes the series' value: the operator corrects it (the
  // field keeps it, and counts as typed until then).
  DesfireSet with_typed = job_;
  with_typed.data = typed;
  if (const JobCheck refusal = CheckDataText(with_typed); !refusal.ok) {
    ShowRefusal(refusal);
    return false;
  }
  // A counting series asks its ledger, which names the card that got the value; without a ledger
  // the numbers tell.
  if (const std::optional<bool> free = TypedValueFreeInLedger(typed, next)) {
    if (!*free) {
      job_.data = next;
      ShowData();
      return false;
    }
  } else if (ValueAlreadyGivenOut(with_typed, typed, next)) {
    const bool was_exchanging = exchanging_;
    exchanging_ = true;
    const BoxAnswer answer = ShowMessageBox(
        this,
        tr("Der Wert <%1> wurde in dieser Serie schon vergeben. Trotzdem schreiben?").arg(typed),
        BoxIcon::kQuestion, BoxButtons::kYesNoDefaultNo);
    exchanging_ = was_exchanging;
    if (answer != BoxAnswer::kYes) {
      AppendStatusLine(tr("Die Serie bleibt bei <%1>.").arg(next));
      job_.data = next;
      ShowData();
      return false;
    }
  }
  if (!operations_->SetSeriesValue(typed)) {
    AppendStatusLine(
        tr("Der Wert <%1> konnte nicht gespeichert werden: %2").arg(typed, settings_.FileName()));
    return false;
  }
  return true;
}

void CQuillmateDlg::TakeOverQuietly() {
  // Closing: every field that holds a valid value is kept; a refused one keeps the job's value,
  // and a typed value the series has given out already is not taken (the question answers OK,
  // which is no Yes).
  const ScopedMessageBoxHook silent(
      [](const QString &, BoxIcon, BoxButtons) { return BoxAnswer::kOk; });
  exchanging_ = true;
  TakeOver();
  exchanging_ = false;
}

void CQuillmateDlg::ShowJob() {
  SetHexText(*form_.app_id, static_cast<unsigned>(job_.app_id));
  SetHexText(*form_.file_id, static_cast<unsigned>(job_.file_id));
  form_.length->setText(QString::number(job_.length));
  form_.key_count->setText(QString::number(job_.key_count));
  form_.no_number->setChecked(job_.number_format == NumberFormat::kNone);
  form_.decimal->setChecked(job_.number_format == NumberFormat::kDecimal);
  form_.hexadecimal->setChecked(job_.number_format == NumberFormat::kHexadecimal);
  form_.binary->setChecked(job_.representation == Representation::kBinary);
  form_.ascii->setChecked(job_.representation == Representation::kAscii);
  form_.normal->setChecked(job_.orientation == Orientation::kNormal);
  form_.rotated->setChecked(job_.orientation == Orientation::kRotated);
  form_.file_mode->setCurrentIndex(static_cast<int>(job_.file_mode));
  form_.card_key->setText(job_.card_key);
  form_.app_key->setText(job_.app_key);
  form_.read.key->setText(job_.read_key);
  form_.write.key->setText(job_.write_key);
  form_.read_write.key->setText(job_.read_write_key);
  form_.auto_increment->setChecked(job_.auto_increment);
  form_.leading_zeros->setChecked(job_.leading_zeros);
  form_.prefix_allowed->setChecked(job_.prefix_allowed);
  FillAccessLists();
  ShowData();
}

void CQuillmateDlg::ShowData() {
  ShowData(job_.data);
}

void CQuillmateDlg::FillAccessLists() {
  const QList<AccessEntry> entries = quillmate::FillAccessLists(job_);
  const struct {
    QComboBox *list;
    int index;
  } rights[] = {{form_.read.list, job_.read_key_nr},
                {form_.write.list, job_.write_key_nr},
                {form_.read_write.list, job_.read_write_key_nr}};
  for (const auto &right : rights) {
    right.list->clear();
    for (const AccessEntry &entry : entries) right.list->addItem(entry.text);
    right.list->setCurrentIndex(right.index);
  }
}

void CQuillmateDlg::UpdateInputLimit() {
  form_.data->setMaxLength(qMax(0, MaxDataChars(job_)));
  if (job_.representation == Representation::kBinary) {
    // Extra text exists only around an ASCII number.
    form_.prefix_allowed->setChecked(false);
    job_.prefix_allowed = false;
  }
}

void CQuillmateDlg::EnableControls(bool on) {
  const bool with_number = job_.number_format != NumberFormat::kNone;
  const int read = form_.read.list->currentIndex();
  const int write = form_.write.list->currentIndex();
  const int read_write = form_.read_write.list->currentIndex();
  const QList<QWidget *> always = {form_.binary,
                                   form_.ascii,
                                   form_.no_number,
                                   form_.decimal,
                                   form_.hexadecimal,
                                   form_.normal,
                                   form_.rotated,
                                   form_.write_single,
                                   form_.read_single,
                                   form_.length,
                                   form_.app_id,
                                   form_.file_id,
                                   form_.erase,
                                   form_.log_read,
                                   form_.choose_log_read,
                                   form_.log_write,
                                   form_.choose_log_write,
                                   form_.write_cycle,
                                   form_.read_cycle,
                                   form_.key_count,
                                   form_.file_mode,
                                   form_.card_key,
                                   form_.read.list,
                                   form_.write.list,
                                   form_.read_write.list,
                                   form_.show_keys,
                                   form_.load_job,
                                   form_.save_job,
                                   form_.verify_after_write};
  for (QWidget *widget : always) widget->setEnabled(on);
  for (QWidget *widget :
       {static_cast<QWidget *>(form_.auto_increment), static_cast<QWidget *>(form_.leading_zeros),
        static_cast<QWidget *>(form_.prefix_allowed)}) {
    widget->setEnabled(on && with_number);
  }
  form_.app_key->setEnabled(on && job_.key_count >= 1);
  form_.read.key->setEnabled(on && read >= 3);
  form_.write.key->setEnabled(on && write >= 3 && write != read);
  form_.read_write.key->setEnabled(on && read_write >= 3 && read_write != read &&
                                   read_write != write);
  form_.data->setEnabled(on);
  form_.menu_bar->setEnabled(on);
  if (on) form_.lamps->hide();
}

// --- handlers of the job's fields ------------------------------------------------------------------

void CQuillmateDlg::FollowFormatChange(NumberFormat format, Representation representation) {
  // The series' number stays what it is, only written another way; the field shows it.
  DesfireSet before = job_;
  before.number_format = format;
  before.representation = representation;
  if (!operations_->FollowFormatChange(before)) {
    AppendStatusLine(tr("Der Wert <%1> konnte nicht gespeichert werden: %2")
                         .arg(job_.data, settings_.FileName()));
  }
}

void CQuillmateDlg::OnNumberFormat() {
  Exclusive(exchanging_, [this] {
    const NumberFormat format = job_.number_format;
    if (!TakeOver()) return;
    UpdateInputLimit();
    FollowFormatChange(format, job_.representation);
    EnableControls(true);
  });
}

void CQuillmateDlg::OnRepresentation() {
  Exclusive(exchanging_, [this] {
    const Representation representation = job_.representation;
    if (!TakeOver()) return;
    UpdateInputLimit();
    FollowFormatChange(job_.number_format, representation);
  });
}

void CQuillmateDlg::OnAsciiOption() {
  if (!form_.ascii->isChecked()) return;
  Exclusive(exchanging_, [this] {
    if (!TakeOver()) return;
    NormaliseValue(job_, 0);
    ShowData();
  });
}

void CQuillmateDlg::OnLengthLeft() {
  Exclusive(exchanging_, [this] {
    if (!TakeOver()) return;
    UpdateInputLimit();
    NormaliseValue(job_, 0);
    ShowData();
  });
}

void CQuillmateDlg::OnDataLeft() {
  Exclusive(exchanging_, [this] {
    if (!TakeOver()) return;
    NormaliseValue(job_, 0);
    ShowData();
  });
}

void CQuillmateDlg::OnKeyCountLeft() {
  Exclusive(exchanging_, [this] {
    if (!TakeOver()) return;
    FillAccessLists();
    EnableControls(true);
  });
}

void CQuillmateDlg::OnAccessChanged() {
  Exclusive(exchanging_, [this] {
    if (!TakeOver()) return;
    EnableControls(true);
  });
}

}  // namespace quillmate::ui
