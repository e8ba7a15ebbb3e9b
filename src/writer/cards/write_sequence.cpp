// The write sequence: one activated DESFire card personalised from the job, step by step, with
// repair passes for what does not match.
#include "writer/cards/write_sequence.h"

#include "writer/cards/card_keys.h"
#include "writer/cards/write_steps/write_run.h"

namespace quillmate {

bool WriteCard(WriterContext &context, const DesfireSet &job, const KeyPlan &plan,
               const QByteArray &data, WriteDetails *details) {
  // The run keeps to the card begun (a repair pass never writes another), so one card's keys
  // serve the whole run.
  const CardKeys card_keys = CardKeyPlan(plan, context.cards.current_uid);
  if (!card_keys.ok) {
    context.report.Line(card_keys.refusal);
    if (details) *details = WriteDetails{};
    return false;
  }
  write_steps::WriteRun run(context, job, card_keys.plan, data);
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
