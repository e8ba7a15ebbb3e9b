// The menu's "Serie": the series view of the series the window's job counts in.
#include "ui/quillmate_dlg.h"
#include "ui/series_dlg.h"
#include "writer/ledger/series_record.h"

namespace quillmate::ui {

void CQuillmateDlg::OnSeries() {
  // The window's job lives in the settings (a loaded job file is taken over into them), so its
  // series is the settings' one, named after the job as the window holds it now.
  const auto read = [this] {
    LedgerRequest request;
    request.settings_file = settings_.FileName();
    request.settings = operator_settings_.series;
    return ReadChosenSeries(request, job_);
  };
  CSeriesDlg dialog(read, QStringLiteral("KV-DESFire Quillmate " QUILLMATE_VERSION), this);
  dialog.exec();
}

}  // namespace quillmate::ui
