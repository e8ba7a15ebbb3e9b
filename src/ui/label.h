// A static text with its own font and colours that can act as a link: a left click on a link label
// opens its text with the desktop (a web address in the browser, a mail address in the mail
// program). The text is always shown as plain text, never interpreted as markup.
#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

namespace quillmate::ui {

class CLabel : public QLabel {
  Q_OBJECT

 public:
  explicit CLabel(QWidget *parent = nullptr);

  // Each setter shows its effect at once.
  void SetLogFont(const QFont &font);  // replaces the whole font
  void SetFontItalic(bool italic);
  void SetFontName(const QString &family);
  // Character height in pixels; 0 or less brings back the default size.
  void SetFontSize(int pixels);
  void SetTextColor(const QColor &color);
  // Fills the label's background with `color` (by default the window shows through).
  void SetBackgroundColor(const QColor &color);
  // Whether a left click opens the text; on after construction.
  void SetLink(bool link);
  bool IsLink() const { return link_; }
  // The cursor shown over the label; nullopt gives the default cursor back.
  void SetLinkCursor(std::optional<QCursor> cursor);
  void SetText(const QString &text);
  // What a click on a link does instead of opening the text (empty: open the text).
  void SetClickHandler(std::function<void()> handler) { click_handler_ = std::move(handler); }

  // What a click on a label showing `text` opens: a mail address without a scheme as mailto:,
  // anything else as the desktop reads it ("www.example.com" as http). Invalid for empty text.
  static QUrl LinkTarget(const QString &text);

 protected:
  void mousePressEvent(QMouseEvent *event) override;

 private:
  void Redraw();

  bool link_ = true;
  std::function<void()> click_handler_;
};

}  // namespace quillmate::ui
