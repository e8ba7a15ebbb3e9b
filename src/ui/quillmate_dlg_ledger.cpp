// The window and the series' ledger: attaching it before a write, asking before a value the
// ledger holds is written again.
#include <QCoreApplication>

#include "ui/lamp_panel.h"
#include "ui/message_box.h"
#include "ui/quillmate_dlg.h"
#include "writer/job/data_codec.h"
#include "writer/ledger/counting_series.h"
#include "writer/ledger/held_value.h"
#include "writer/ledger/ledger_choice.h"

namespace quillmate::ui {
namespace {

// How long a running write cycle waits for a ledger that stopped answering before it ends.
constexpr qint64 kWindowLedgerWaitMs = 10 * 60 * 1000;

}  // namespace

bool CQuillmateDlg::AttachLedger() {
  if (!IsCountingSeries(job_)) return true;
  LedgerRequest request;
  request.settings_file = settings_.FileName();
  request.settings = operator_settings_.series;
  const QString series = ChosenSeriesName(request, job_);
  if (series_ledger_ == nullptr) {
    OpenedLedger opened = OpenSeriesLedger(request, job_);
    if (opened.ledger == nullptr) {
      // Never a quiet fall back to the settings file alone: the card is not written.
      AppendStatusLine(opened.failure);
      return false;
    }
    series_ledger_ = std::move(opened.ledger);
    operations_->SetReissueQuestion([this](const QString &question) {
      return ShowMessageBox(this, question, BoxIcon::kQuestion, BoxButtons::kYesNoDefaultNo) ==
             BoxAnswer::kYes;
    });
    operations_->SetLedgerWaitMs(kWindowLedgerWaitMs);
    ledger_series_.clear();
  }
  if (series == ledger_series_ && operations_->LedgerFailure().isEmpty()) return true;
  if (!operations_->SetLedger(series_ledger_.get(), series,
                              LedgerWriter(job_, QCoreApplication::applicationName()))) {
    AppendStatusLine(operations_->LedgerFailure());
    ledger_series_.clear();
    return false;
  }
  ledger_series_ = series;
  return true;
}

std::optional<bool> CQuillmateDlg::TypedValueFreeInLedger(const QString &typed,
                                                          const QString &next) {
  DesfireSet with_typed = job_;
  with_typed.data = typed;
  if (!IsCountingSeries(with_typed)) return std::nullopt;
  if (!AttachLedger()) return false;
  NormaliseValue(with_typed, 0);
  const std::optional<std::vector<LedgerEntry>> holding =
      series_ledger_->Holding(ledger_series_, with_typed.data);
  if (!holding) {
    AppendStatusLine(series_ledger_->Failure());
    return false;
  }
  if (holding->empty()) return std::nullopt;
  const bool was_exchanging = exchanging_;
  exchanging_ = true;
  const BoxAnswer answer =
      ShowMessageBox(this, ReissueQuestionText(with_typed.data, holding->back()),
                     BoxIcon::kQuestion, BoxButtons::kYesNoDefaultNo);
  exchanging_ = was_exchanging;
  if (answer != BoxAnswer::kYes) {
    AppendStatusLine(tr("Die Serie bleibt bei <%1>.").arg(next));
    return false;
  }
  operations_->ApproveReissue(with_typed.data);
  return true;
}

}  // namespace quillmate::ui
