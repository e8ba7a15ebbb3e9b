// A picture at the top-left corner of its area, optionally with white as transparent.
#include "ui/bitmap_static.h"

#include <QPainter>
#include <QSvgRenderer>

namespace quillmate::ui {

CBitmapStatic::CBitmapStatic(QWidget *parent) : QWidget(parent) {}

void CBitmapStatic::SetImage(const QImage &image) {
  image_ = image;
  Compose();
  updateGeometry();
}

bool CBitmapStatic::LoadSvg(const QString &file, const QSize &size) {
  QSvgRenderer renderer(file);
  if (!renderer.isValid() || size.isEmpty()) {
    SetImage({});
    return false;
  }
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  renderer.render(&painter);
  painter.end();
  SetImage(image);
  return true;
}

void CBitmapStatic::SetTransparent(bool transparent) {
  if (transparent == transparent_) return;
  transparent_ = transparent;
  Compose();
}

QSize CBitmapStatic::sizeHint() const {
  return image_.isNull() ? QWidget::sizeHint() : image_.size();
}

void CBitmapStatic::Compose() {
  if (image_.isNull() || !transparent_) {
    shown_ = image_;
  } else {
    // Pure white becomes fully see-through; every other pixel keeps its colour and alpha.
    shown_ = image_.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < shown_.height(); ++y) {
      auto *line = reinterpret_cast<QRgb *>(shown_.scanLine(y));
      for (int x = 0; x < shown_.width(); ++x) {
        if ((line[x] & 0x00FFFFFFu) == 0x00FFFFFFu) line[x] = 0;
      }
    }
  }
  update();
}

void CBitmapStatic::paintEvent(QPaintEvent * /*event*/) {
  if (shown_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(0, 0, shown_);
}

}  // namespace quillmate::ui
