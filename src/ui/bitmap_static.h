// A picture at the top-left corner of its area, such as the lamps of the write cycle. When
// transparent, every pure white pixel (255, 255, 255) leaves the background visible and every
// other pixel is copied, so a round lamp on a white square shows the window around it. The
// picture is composed once when it or the flag changes and painted in one step, so it does not
// flicker. Without a picture nothing is painted.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>

namespace quillmate::ui {

class CBitmapStatic : public QWidget {
  Q_OBJECT

 public:
  explicit CBitmapStatic(QWidget *parent = nullptr);

  void SetImage(const QImage &image);
  const QImage &Image() const { return image_; }
  // Renders an SVG file (e.g. ":/art/lamp_red.svg") at `size` on white, the transparent colour.
  // False, and no picture, when the file cannot be read as SVG.
  bool LoadSvg(const QString &file, const QSize &size);

  void SetTransparent(bool transparent);
  bool Transparent() const { return transparent_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent *event) override;

 private:
  void Compose();

  QImage image_;
  QImage shown_;  // image_ as painted: with white made see-through when transparent
  bool transparent_ = false;
};

}  // namespace quillmate::ui
