// The traffic light beside the window while a cycle runs: red, yellow and green lamps.
#include "ui/lamp_panel.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <algorithm>

#include "ui/bitmap_static.h"

namespace quillmate::ui {
namespace {

// The panel's texts share the translation context of the window.
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CQuillmateDlg)
};

constexpr int kTop = 10;
constexpr int kGap = 6;
// The counts' font, in points: readable from two metres on a 96 dpi screen.
constexpr int kCountsPointSize = 16;

// The lamp drawn on white, the colour the pictures leave see-through.
QImage LampPicture(const char *name, int size) {
  CBitmapStatic picture;
  picture.LoadSvg(QStringLiteral(":/art/%1.svg").arg(QLatin1String(name)), QSize(size, size));
  return picture.Image();
}

// The picture lit for `lamp`: 0 red, 1 yellow, 2 green; -1 none.
int Index(Lamp lamp) {
  switch (lamp) {
    case Lamp::kWaiting:
      return -1;
    case Lamp::kRed:
      return 0;
    case Lamp::kYellow:
      return 1;
    case Lamp::kGreen:
      break;
  }
  return 2;
}

QLabel *CountLabel(QWidget *parent) {
  auto *label = new QLabel(parent);
  QFont font = label->font();
  font.setPointSize(kCountsPointSize);
  font.setBold(true);
  label->setFont(font);
  return label;
}

}  // namespace

LampPanel::LampPanel(QWidget *parent) : QWidget(parent) {
  for (CBitmapStatic *&picture : pictures_) {
    picture = new CBitmapStatic(this);
    picture->SetTransparent(true);
  }
  cards_ = CountLabel(this);
  failures_ = CountLabel(this);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  ShowCounts({});
  resize(sizeHint());
  Place();
}

QSize LampPanel::sizeHint() const {
  return {kWidth, kTop + 3 * kLampSize + CountsHeight()};
}

QSize LampPanel::minimumSizeHint() const {
  return {kWidth, kTop + 3 * kMinLampSize + CountsHeight()};
}

int LampPanel::CountsHeight() const {
  return kGap + cards_->sizeHint().height() + failures_->sizeHint().height() + kGap;
}

void LampPanel::setVisible(bool visible) {
  const bool was_shown = !isHidden();
  QWidget *window = this->window();
  const int width_before = window->width();
  QWidget::setVisible(visible);
  if (was_shown == visible || window == this) return;
  // The window's least size follows the panel now, not at the next event.
  if (window->layout() != nullptr) window->layout()->activate();
  const QRect screen = window->screen()->availableGeometry();
  const int frame = window->frameGeometry().width() - window->width();
  const int wanted = width_before + (visible ? kWidth : -kWidth);
  window->resize(std::max(std::min(wanted, screen.width() - frame), window->minimumWidth()),
                 window->height());
  // A window widened past the right edge of the screen moves left until it fits.
  const int overhang = window->frameGeometry().right() - screen.right();
  if (visible && overhang > 0) window->move(window->x() - overhang, window->y());
}

void LampPanel::ShowLamp(Lamp lamp) {
  lit_ = lamp;
  Paint();
}

void LampPanel::ShowCounts(const SeriesCounts &counts) {
  cards_->setText(Texts::tr("Karten: %1").arg(counts.cards_done));
  failures_->setText(Texts::tr("Fehlversuche: %1").arg(counts.failed_attempts));
  setAccessibleDescription(CountsText());
}

QString LampPanel::CountsText() const {
  return cards_->text() + QLatin1Char('\n') + failures_->text();
}

void LampPanel::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  Place();
}

void LampPanel::Place() {
  const int room = (height() - kTop - CountsHeight()) / 3;
  const int size = std::clamp(room, kMinLampSize, kLampSize);
  if (size != lamp_size_) {
    lamp_size_ = size;
    lit_lamps_ = {LampPicture("lamp_red", size), LampPicture("lamp_yellow", size),
                  LampPicture("lamp_green", size)};
    grey_lamp_ = LampPicture("lamp_grey", size);
    Paint();
  }
  // Smaller lamps stay centred where the full-size ones would be.
  const int left = (kLampSize - size) / 2;
  for (int i = 0; i < 3; ++i) pictures_[i]->setGeometry(left, kTop + i * size, size, size);
  int y = kTop + 3 * size + kGap;
  for (QLabel *label : {cards_, failures_}) {
    label->setGeometry(0, y, kWidth, label->sizeHint().height());
    y += label->sizeHint().height();
  }
}

void LampPanel::Paint() {
  if (lamp_size_ == 0) return;
  const int lit = Index(lit_);
  for (int i = 0; i < 3; ++i) pictures_[i]->SetImage(i == lit ? lit_lamps_[i] : grey_lamp_);
}

}  // namespace quillmate::ui
