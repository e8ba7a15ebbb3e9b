// The traffic light shown beside the window while the write cycle runs: three 200 x 200 pictures
// one above the other, red, yellow and green, of which one is lit and the others grey.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>

#include "writer/front_end.h"

namespace quillmate::ui {

class CBitmapStatic;

class LampPanel : public QWidget {
  Q_OBJECT

 public:
  // How much the window widens when the panel is shown.
  static constexpr int kWidth = 220;
  static constexpr int kLampSize = 200;

  explicit LampPanel(QWidget *parent = nullptr);

  // Lights `lamp` and greys the other two; shown at once when the panel is open, else at its
  // next opening.
  void ShowLamp(Lamp lamp);
  Lamp Lit() const { return lit_; }

 private:
  std::array<CBitmapStatic *, 3> pictures_{};
  std::array<QImage, 3> lit_lamps_;
  QImage grey_lamp_;
  Lamp lit_ = Lamp::kRed;
};

}  // namespace quillmate::ui
