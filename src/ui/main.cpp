// quillmate: the operator's window.
#include <QApplication>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  return 0;
}
