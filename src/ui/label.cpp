// A static text with its own font and colours that can act as a link opened by the desktop.
#include "ui/label.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPalette>

namespace quillmate::ui {

CLabel::CLabel(QWidget *parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
}

void CLabel::SetLogFont(const QFont &font) {
  setFont(font);
  Redraw();
}

void CLabel::SetFontItalic(bool italic) {
  QFont changed = font();
  changed.setItalic(italic);
  SetLogFont(changed);
}

void CLabel::SetFontName(const QString &family) {
  QFont changed = font();
  changed.setFamily(family);
  SetLogFont(changed);
}

void CLabel::SetFontSize(int pixels) {
  QFont changed = font();
  const QFont standard = QApplication::font(this);
  if (pixels > 0) {
    changed.setPixelSize(pixels);
  } else if (standard.pixelSize() > 0) {
    changed.setPixelSize(standard.pixelSize());
  } else {
    changed.setPointSizeF(standard.pointSizeF());
  }
  SetLogFont(changed);
}

void CLabel::SetTextColor(const QColor &color) {
  QPalette changed = palette();
  changed.setColor(QPalette::WindowText, color);
  setPalette(changed);
  Redraw();
}

void CLabel::SetBackgroundColor(const QColor &color) {
  QPalette changed = palette();
  changed.setColor(QPalette::Window, color);
  setPalette(changed);
  setAutoFillBackground(true);
  Redraw();
}

void CLabel::SetLink(bool link) {
  link_ = link;
  Redraw();
}

void CLabel::SetLinkCursor(std::optional<QCursor> cursor) {
  if (cursor) {
    setCursor(*cursor);
  } else {
    unsetCursor();
  }
  Redraw();
}

void CLabel::SetText(const QString &text) {
  setText(text);
  Redraw();
}

QUrl CLabel::LinkTarget(const QString &text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return {};
  // "info@example.com" is a mail address; read as a web address it would become a user name on
  // the host example.com.
  if (trimmed.contains(u'@') && !trimmed.contains(u':') && !trimmed.contains(u'/')) {
    return QUrl(QStringLiteral("mailto:") + trimmed);
  }
  return QUrl::fromUserInput(trimmed);
}

void CLabel::mousePressEvent(QMouseEvent *event) {
  if (link_ && event->button() == Qt::LeftButton) {
    if (click_handler_) {
      click_handler_();
    } else {
      const QUrl target = LinkTarget(text());
      if (target.isValid()) QDesktopServices::openUrl(target);
    }
  }
  QLabel::mousePressEvent(event);
}

void CLabel::Redraw() {
  repaint();
}

}  // namespace quillmate::ui
