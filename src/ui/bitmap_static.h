// STUB until the controls branch is merged.
#pragma once
#include <QLabel>
namespace quillmate::ui {
class CBitmapStatic : public QLabel {
 public:
  explicit CBitmapStatic(QWidget *parent = nullptr) : QLabel(parent) {}
  void SetTransparent(bool) {}
  void SetPicture(const QPixmap &p) { setPixmap(p); }
};
}  // namespace quillmate::ui
