// STUB until the controls branch is merged.
#pragma once
#include <QDialog>
#include "writer/format_delete.h"
#include "writer/language.h"
namespace quillmate::ui {
class CLoeschenDlg : public QDialog {
 public:
  CLoeschenDlg(int, Language, const DeleteFields &, bool, QWidget *parent = nullptr) : QDialog(parent) {}
};
}  // namespace quillmate::ui
