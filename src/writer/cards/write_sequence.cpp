// The write sequence: one activated DESFire card personalised from the job, step by step, with
// repair passes for what does not match.
#include "writer/cards/write_sequence.h"

#include "writer/cards/write_steps/write_run.h"

namespace quillmate {

bool WriteCard(WriterContext &context, const DesfireSet &job, const KeyPlan &plan,
               const QByteArray &data, WriteDetails *details) {
  write_steps::WriteRun run(context, job, plan, data);
  const bool written = run.Run();
  if (details) {
    details->data_may_be_on_card = !written && run.DataMayBeOnCard();
    details->file_image = written ? run.FileImage() : QByteArray();
    details->earlier_data = run.EarlierData();
  }
  if (!written && run.LeftTheCardHalfWritten()) context.report.Line(run.UnfinishedCardLine());
  return written;
}

}  // namespace quillmate
