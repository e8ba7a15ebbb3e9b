// The settings of the cycles and the beep: tone length and timer period, checked and handed back.
#include "ui/beep_time_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "ui/field_label.h"
#include "ui/message_box.h"
#include "ui/number_field.h"
#include "writer/run/operations.h"

namespace quillmate::ui {
namespace {

QLineEdit *NumberField(int value, const QString &name, QWidget *parent) {
  auto *field = new QLineEdit(QString::number(value), parent);
  field->setObjectName(name);
  return field;
}

}  // namespace

CBeepTimeDlg::CBeepTimeDlg(int beep_time_ms, int cycle_period_ms, QWidget *parent)
    : QDialog(parent),
      beep_time_(NumberField(beep_time_ms, QStringLiteral("beepTime"), this)),
      cycle_period_(NumberField(cycle_period_ms, QStringLiteral("cyclePeriod"), this)),
      beep_time_ms_(beep_time_ms),
      cycle_period_ms_(cycle_period_ms) {
  setWindowTitle(tr("Einstellungen"));
  auto *fields = new QGridLayout;
  fields->addWidget(FieldLabel(tr("Tondauer"), beep_time_, this), 0, 0);
  fields->addWidget(beep_time_, 0, 1);
  fields->addWidget(new QLabel(tr("ms"), this), 0, 2);
  fields->addWidget(new QLabel(tr("(0 ms = Ton aus)"), this), 1, 1, 1, 2);
  fields->addWidget(FieldLabel(tr("Zykluszeit"), cycle_period_, this), 2, 0);
  fields->addWidget(cycle_period_, 2, 1);
  fields->addWidget(new QLabel(tr("ms"), this), 2, 2);

  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CBeepTimeDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CBeepTimeDlg::reject);

  auto *layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(buttons);
}

void CBeepTimeDlg::accept() {
  const qint64 beep = TakeField(beep_time_, tr("Tondauer"), kMinBeepTimeMs, kMaxBeepTimeMs);
  if (beep < 0) return;
  const qint64 cycle =
      TakeField(cycle_period_, tr("Zykluszeit"), kMinCyclePeriodMs, kMaxCyclePeriodMs);
  if (cycle < 0) return;
  beep_time_ms_ = static_cast<int>(beep);
  cycle_period_ms_ = static_cast<int>(cycle);
  QDialog::accept();
}

qint64 CBeepTimeDlg::TakeField(QLineEdit *field, const QString &caption, int minimum, int maximum) {
  return TakeUnsignedField(this, field, minimum, maximum, caption);
}

}  // namespace quillmate::ui
