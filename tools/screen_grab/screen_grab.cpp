// Saves a picture of the whole X screen (or of one window, given by its id) as a PNG file: the
// window's end-to-end runs under a virtual X server look at what the operator would see.
//
//   screen-grab OUT.png [WINDOW-ID]
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: screen-grab OUT.png [WINDOW-ID]\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  QScreen *screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    std::fprintf(stderr, "screen-grab: no screen\n");
    return 1;
  }
  bool ok = true;
  const WId window = argc == 3 ? QByteArray(argv[2]).toULongLong(&ok, 0) : 0;
  if (!ok) {
    std::fprintf(stderr, "screen-grab: not a window id: %s\n", argv[2]);
    return 2;
  }
  const QPixmap picture = screen->grabWindow(window);
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "screen-grab: could not save %s\n", argv[1]);
    return 1;
  }
  return 0;
}
