// What the program's windows look like: the compiled-in pictures, the icon, fonts and palette,
// set up once for the whole program.
#include "ui/appearance.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>

// Q_INIT_RESOURCE names a function of the global namespace.
static void InitArtResource() {
  Q_INIT_RESOURCE(art);
}

namespace quillmate::ui {
namespace {

// The program's style with '*' for hidden text. It is set for the whole application, not per
// field: a field with a style of its own would not look disabled like its neighbours.
class AsteriskStyle : public QProxyStyle {
 public:
  explicit AsteriskStyle(QStyle *base) : QProxyStyle(base) {}

  int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                QStyleHintReturn *result) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, result);
  }
};

}  // namespace

void InitAppearance() {
  static const bool done = [] {
    InitArtResource();
    QApplication::setStyle(new AsteriskStyle(QStyleFactory::create(QApplication::style()->name())));
    return true;
  }();
  (void)done;
}

}  // namespace quillmate::ui
