// Step W of a pass: the data written into the job's file under its write right, and what a failed
// write leaves open about the card.
#include "kovra.h"
#include "writer/cards/write_steps/write_run.h"

namespace quillmate::write_steps {

Step WriteRun::WriteData() {
  int comm = FileModeByte(job_.file_mode);
  const int write = plan_.write_nibble;
  const int read_write = plan_.read_write_nibble;
  if (NeedsKey(write)) {
    if (!AuthAes(write, KeyOf(write))) {
      ErrorLine(" <Auth(Write,N)>");
      return Step::kNextPass;
    }
  } else if (write == kNibbleNone && NeedsKey(read_write)) {
    if (!AuthAes(read_write, KeyOf(read_write))) {
      ErrorLine(" <Auth(ReadWrite,N)>");
      return Step::kNextPass;
    }
  } else {
    // Free write: the card expects plain data only outside a session, and an earlier step may
    // have left a key authenticated that holds the read/write right (the card would then wait
    // for a MAC or a cryptogram). Selecting the application again ends that session.
    comm = 0;
    if (!Select(job_.app_id)) {
      ErrorLine(" <SelectApp()>");
      return Step::kNextPass;
    }
  }
  // The job's bytes, then zeros to the end of a larger file: a reader of the whole file must not
  // find the tail of an earlier value after them.
  QByteArray image = data_;
  if (file_size_ > image.size()) image.append(QByteArray(file_size_ - image.size(), '\0'));
  const auto *bytes = reinterpret_cast<const unsigned char *>(image.constData());
  if (KOVRA_DESFireWriteData(handle_, job_.file_id, comm, 0, bytes,
                             static_cast<int>(image.size())) != 0) {
    if (CardMayHoldData(LastError())) data_may_be_on_card_ = true;
    ErrorLine(" <Write>");
    return Step::kNextPass;
  }
  file_image_ = image;
  return Step::kGoOn;
}

bool WriteRun::CardMayHoldData(int error) {
  switch (error) {
    case KOVRA_DESFIRE_ERR_KEY_LENGTH:
    case KOVRA_DESFIRE_ERR_OLD_KEY_LENGTH:
    case KOVRA_DESFIRE_ERR_NOT_AUTHENTICATED:
      return false;
    case KOVRA_DESFIRE_ERR_MAC:
    case KOVRA_DESFIRE_ERR_CRC:
    case KOVRA_DESFIRE_ADDITIONAL_FRAME:
      return true;
    default:
      return error <= KOVRA_DESFIRE_BASE || error > KOVRA_DESFIRE_BASE + 0xFF;
  }
}

}  // namespace quillmate::write_steps
