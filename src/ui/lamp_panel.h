// The traffic light shown beside the window while a cycle runs: three round lamps one above the
// other, red, yellow and green, of which at most one is lit and the others grey (all grey: the
// cycle waits for a card), and below them the cycle's running counts, large enough to be read
// from a distance. The lamps are 200 x 200 pixels where the window has the room and shrink with
// its height on a small screen, so that the panel never pushes the window off the screen.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>

#include "writer/front_end.h"
#include "writer/run/operations.h"

class QLabel;

namespace quillmate::ui {

class CBitmapStatic;

class LampPanel : public QWidget {
  Q_OBJECT

 public:
  // How much the window widens when the panel is shown.
  static constexpr int kWidth = 220;
  // The lamps' size when the window has room for it, and the least they shrink to.
  static constexpr int kLampSize = 200;
  static constexpr int kMinLampSize = 100;

  explicit LampPanel(QWidget *parent = nullptr);

  // Lights `lamp` and greys the other two (kWaiting: all three grey); shown at once when the
  // panel is open, else at its next opening.
  void ShowLamp(Lamp lamp);
  Lamp Lit() const { return lit_; }
  // The cards done and the failed attempts of the running cycle.
  void ShowCounts(const SeriesCounts &counts);
  // The counts as shown, one line each (for the tests and the accessibility tree).
  QString CountsText() const;
  // The size the lamps are drawn at now.
  int LampSize() const { return lamp_size_; }

  // Showing the panel widens the window by its width (as far as the screen allows), hiding it
  // gives that width back, so that the columns beside it keep their size.
  void setVisible(bool visible) override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent *event) override;

 private:
  int CountsHeight() const;
  // Draws the lamps at the size the panel's height allows and puts the counts below them.
  void Place();
  void Paint();

  std::array<CBitmapStatic *, 3> pictures_{};
  std::array<QImage, 3> lit_lamps_;
  QImage grey_lamp_;
  QLabel *cards_ = nullptr;
  QLabel *failures_ = nullptr;
  Lamp lit_ = Lamp::kWaiting;
  int lamp_size_ = 0;
};

}  // namespace quillmate::ui
