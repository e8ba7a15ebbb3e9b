// A field's caption in front of it: the caption's mnemonic moves the focus to the field, and
// screen readers announce the field by the caption.
#pragma once

#include <QLabel>

namespace quillmate::ui {

inline QLabel *FieldLabel(const QString &caption, QWidget *field, QWidget *parent) {
  auto *label = new QLabel(caption, parent);
  label->setBuddy(field);
  return label;
}

}  // namespace quillmate::ui
