// Every message box of the window, through one function that a test can answer.
#include "ui/message_box.h"

#include <QMessageBox>

namespace quillmate::ui {
namespace {

MessageBoxHook &Hook() {
  static MessageBoxHook hook;
  return hook;
}

QMessageBox::Icon ToQt(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kInformation:
      return QMessageBox::Information;
    case BoxIcon::kCritical:
      return QMessageBox::Critical;
    case BoxIcon::kQuestion:
      return QMessageBox::Question;
    case BoxIcon::kWarning:
      break;
  }
  return QMessageBox::Warning;
}

}  // namespace

BoxAnswer ShowMessageBox(QWidget *parent, const QString &text, BoxIcon icon, BoxButtons buttons) {
  if (Hook()) return Hook()(text, icon, buttons);
  QMessageBox box(ToQt(icon), QStringLiteral("KV-DESFire Quillmate"), text, QMessageBox::NoButton,
                  parent);
  switch (buttons) {
    case BoxButtons::kOk:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case BoxButtons::kRetryCancel:
      box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case BoxButtons::kYesNo:
    case BoxButtons::kYesNoDefaultNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setEscapeButton(QMessageBox::No);
      if (buttons == BoxButtons::kYesNoDefaultNo) box.setDefaultButton(QMessageBox::No);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Retry:
      return BoxAnswer::kRetry;
    case QMessageBox::Cancel:
      return BoxAnswer::kCancel;
    case QMessageBox::Yes:
      return BoxAnswer::kYes;
    case QMessageBox::No:
      return BoxAnswer::kNo;
    default:
      return buttons == BoxButtons::kRetryCancel ? BoxAnswer::kCancel
             : buttons == BoxButtons::kOk        ? BoxAnswer::kOk
                                                 : BoxAnswer::kNo;
  }
}

void SetMessageBoxHook(MessageBoxHook hook) {
  Hook() = std::move(hook);
}

ScopedMessageBoxHook::ScopedMessageBoxHook(MessageBoxHook hook) : previous_(Hook()) {
  Hook() = std::move(hook);
}

ScopedMessageBoxHook::~ScopedMessageBoxHook() {
  Hook() = std::move(previous_);
}

}  // namespace quillmate::ui
