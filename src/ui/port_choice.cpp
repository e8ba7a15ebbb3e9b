#include "ui/port_choice.h"

#include <QCoreApplication>
#include <QInputDialog>

namespace quillmate::ui {
namespace {

struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CQuillmateDlg)
};

}  // namespace

bool AskForPortName(QWidget *parent, PortSettings &port) {
  bool ok = false;
  const QString name =
      QInputDialog::getText(parent, Texts::tr("Schnittstelle wählen"),
                            Texts::tr("Schnittstelle des Lesers (z. B. /dev/ttyUSB0):"),
                            QLineEdit::Normal, port.name, &ok)
          .trimmed();
  if (!ok || name.isEmpty()) return false;
  port.name = name;
  return true;
}

}  // namespace quillmate::ui
