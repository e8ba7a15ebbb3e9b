// Step F of a pass: the job's standard data file, created, or checked against the job when it is
// kept from an earlier write (whose value is read so that the card can be named).
#include "kovra.h"
#include "writer/cards/write_steps/write_run.h"

namespace quillmate::write_steps {
namespace {

constexpr int kSettingsRoom = 20;
constexpr int kMinSettings = 7;
constexpr unsigned char kStandardDataFile = 0x00;

}  // namespace

Step WriteRun::EnsureDataFile() {
  const int comm = FileModeByte(job_.file_mode);
  const quint16 access = AccessRightsWord(plan_, job_.key_count);
  if (KOVRA_DESFireCreateStdDataFile(handle_, job_.file_id, 0, job_.length, comm, access) == 0) {
    changed_ = true;
    file_size_ = job_.length;
    return Step::kGoOn;
  }
  if (LastError() != KOVRA_DESFIRE_DUPLICATE) {
    ErrorLine(" <CreateFile()>");
    return Step::kNextPass;
  }
  unsigned char settings[kSettingsRoom] = {};
  if (KOVRA_DESFireGetFileSettings(handle_, job_.file_id, settings, kSettingsRoom) < kMinSettings) {
    ErrorLine(" <GetFileSettings()>");
    return Step::kNextPass;
  }
  if (settings[0] != kStandardDataFile || settings[1] != comm) {
    Message(tr("File hat den falschen Typ, Applikation wird gelöscht und neu erzeugt!"));
    return Step::kNextPass;
  }
  if ((settings[2] | (settings[3] << 8)) != access) {
    Message(tr("File hat nicht die richtigen Keys, Applikation wird gelöscht und neu erzeugt!"));
    return Step::kNextPass;
  }
  const int size = settings[4] | (settings[5] << 8) | (settings[6] << 16);
  if (size < data_.size()) {
    Message(tr("File hat nicht genügend Platz, Applikation wird gelöscht und neu erzeugt!"));
    return Step::kNextPass;
  }
  // A size travels in 24 bits, so it never exceeds the longest file a job may ask for: the
  // whole file fits the write.
  file_size_ = size;
  ReadEarlierData();
  return Step::kGoOn;
}

void WriteRun::ReadEarlierData() {
  // A later pass finds what an earlier pass of this run left: only the first read counts.
  if (earlier_data_ || job_.length <= 0) return;
  const int read = plan_.read_nibble;
  const int key_no = NeedsKey(read) || read == kNibbleFree ? read : plan_.read_write_nibble;
  int comm = FileModeByte(job_.file_mode);
  if (NeedsKey(key_no)) {
    if (!AuthAes(key_no, KeyOf(key_no))) return;
  } else if (key_no == kNibbleFree) {
    // Free reading is plain and outside a session (see the free write in step W).
    comm = 0;
    if (!Select(job_.app_id)) return;
  } else {
    return;
  }
  QByteArray buffer(job_.length, '\0');
  const int got =
      KOVRA_DESFireReadData(handle_, job_.file_id, comm, 0, job_.length,
                            reinterpret_cast<unsigned char *>(buffer.data()), job_.length);
  if (got == job_.length) earlier_data_ = buffer;
}

}  // namespace quillmate::write_steps
