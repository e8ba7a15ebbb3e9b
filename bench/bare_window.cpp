// The reference program of the start-up benchmark: a bare Qt Widgets dialog with one label, which
// ends at its first paint. Nothing of ours is linked in.
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>

namespace {

class EndAtFirstPaint : public QObject {
 protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Paint) QCoreApplication::exit(0);
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  EndAtFirstPaint end;
  dialog.installEventFilter(&end);
  new QLabel(QStringLiteral("KV-DESFire Quillmate"), &dialog);
  dialog.show();
  return QApplication::exec();
}
