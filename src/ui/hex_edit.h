// STUB until the controls branch is merged.
#pragma once
#include <QLineEdit>
namespace quillmate::ui {
class CHexEdit : public QLineEdit {
 public:
  explicit CHexEdit(QWidget *parent = nullptr) : QLineEdit(parent) {}
};
}  // namespace quillmate::ui
