#include "ui/lamp_panel.h"

#include "ui/bitmap_static.h"

namespace quillmate::ui {
namespace {

// The lamp drawn on white, the colour the pictures leave see-through.
QImage LampPicture(const char *name) {
  CBitmapStatic picture;
  picture.LoadSvg(QStringLiteral(":/art/%1.svg").arg(QLatin1String(name)),
                  QSize(LampPanel::kLampSize, LampPanel::kLampSize));
  return picture.Image();
}

int Index(Lamp lamp) {
  switch (lamp) {
    case Lamp::kRed:
      return 0;
    case Lamp::kYellow:
      return 1;
    case Lamp::kGreen:
      break;
  }
  return 2;
}

}  // namespace

LampPanel::LampPanel(QWidget *parent) : QWidget(parent) {
  lit_lamps_ = {LampPicture("lamp_red"), LampPicture("lamp_yellow"), LampPicture("lamp_green")};
  grey_lamp_ = LampPicture("lamp_grey");
  setFixedSize(kWidth, 10 + 3 * kLampSize + 10);
  for (int i = 0; i < 3; ++i) {
    pictures_[i] = new CBitmapStatic(this);
    pictures_[i]->setGeometry(0, 10 + i * kLampSize, kLampSize, kLampSize);
    pictures_[i]->SetTransparent(true);
  }
  ShowLamp(Lamp::kRed);
}

void LampPanel::ShowLamp(Lamp lamp) {
  lit_ = lamp;
  const int lit = Index(lamp);
  for (int i = 0; i < 3; ++i) {
    pictures_[i]->SetImage(i == lit ? lit_lamps_[i] : grey_lamp_);
  }
}

}  // namespace quillmate::ui
