// The write sequence: one activated DESFire card personalised from the job, step by step, with
// repair passes for what does not match.
#include "writer/cards/write_sequence.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>

#include "kovra.h"
#include "writer/cards/card_calls.h"
#include "writer/cards/card_detection.h"
#include "writer/reader/reader_port.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "WriteSequence" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(WriteSequence)
};

constexpr int kCardLevel = 0;
constexpr int kPasses = 4;
constexpr int kCryptoAes = 2;
constexpr int kChangeWithItself = 14;  // change-key access: each key after authenticating itself
constexpr int kKeySettings = 15;
constexpr int kSettingsRoom = 20;
constexpr int kMinSettings = 7;
constexpr unsigned char kStandardDataFile = 0x00;

const QByteArray kFactoryKey;  // empty: the library takes the factory default key

// How a step ends: the sequence goes on, starts the next pass, or ends with false.
enum class Step { kGoOn, kNextPass, kFail };

// What the card holds of the job so far, in the order the sequence gets there: the first stage not
// yet reached is what the card still lacks (with every stage after it).
enum class Stage { kCardKey, kApplication, kFile, kData, kDone };

class WriteRun {
 public:
  WriteRun(WriterContext &context, const DesfireSet &job, const KeyPlan &plan,
           const QByteArray &data)
      : context_(context),
        job_(job),
        plan_(plan),
        data_(data),
        handle_(context.handle),
        uid_(context.cards.current_uid) {}

  bool Run() {
    const bool written = RunPasses();
    // A card laid instead of this one during a repair pass was never written: the card the run
    // is about stays the one reported.
    if (!uid_.isEmpty()) context_.cards.current_uid = uid_;
    return written;
  }

  // True when the run changed the card (a key, the application, the file, possibly the data) and
  // then lost it: the card left the field, another one was laid, the reader went, or the data
  // write got no answer. A card that stayed and refused a step has its step's line already.
  bool LeftTheCardHalfWritten() const {
    return (changed_ || data_may_be_on_card_) && (card_left_ || data_may_be_on_card_);
  }

  // The status line that makes a card left half-written identifiable: its UID and what it lacks.
  QString UnfinishedCardLine() const {
    QStringList missing;
    if (stage_ <= Stage::kCardKey) missing.append(Texts::tr("Card Master Key"));
    if (stage_ <= Stage::kApplication) {
      missing.append(Texts::tr("Applikation %1").arg(QString::number(job_.app_id, 16).toUpper()));
    }
    if (stage_ <= Stage::kFile) {
      missing.append(Texts::tr("Datei %1").arg(QString::number(job_.file_id, 16).toUpper()));
    }
    if (data_may_be_on_card_) {
      missing.append(Texts::tr("die Bestätigung der Daten (vielleicht geschrieben)"));
    } else {
      missing.append(Texts::tr("Daten"));
    }
    return Texts::tr("Karte %1 ist nur teilweise beschrieben, es fehlen: %2")
        .arg(CardUidText(uid_), missing.join(QStringLiteral(", ")));
  }

 private:
  bool RunPasses() {
    if (CardMasterKey() == Step::kFail) return false;
    stage_ = Stage::kApplication;
    for (int pass = 0; pass < kPasses; ++pass) {
      if (pass > 0 && RemoveApplication() == Step::kFail) return false;
      switch (InstallAndWrite()) {
        case Step::kGoOn:
          stage_ = Stage::kDone;
          return true;
        case Step::kFail:
          return false;
        case Step::kNextPass:
          break;
      }
    }
    return false;
  }

 private:
  // --- library calls --------------------------------------------------------------------------
  bool Select(int aid) { return SelectApplication(context_, aid); }
  bool AuthAes(int key_no, const QByteArray &key) { return AuthenticateAes(context_, key_no, key); }
  bool AuthIso(int key_no, const QByteArray &key) { return AuthenticateIso(context_, key_no, key); }
  // The job's keys are AES keys.
  bool ChangeKey(int key_no, const QByteArray &key) {
    const bool changed = quillmate::ChangeKey(context_, key_no, key, kKeyTypeAes);
    changed_ = changed_ || changed;
    return changed;
  }
  int LastError() const { return quillmate::LastError(context_); }

  // The key the job gives a key number. Of two rights on one key only the first in the order
  // read, write, read/write carries the key (the plan leaves the others empty).
  QByteArray KeyOf(int nibble) const {
    if (nibble == 0) return plan_.app_master_key;
    if (nibble == plan_.read_nibble) return plan_.read_key;
    if (nibble == plan_.write_nibble) return plan_.write_key;
    return plan_.read_write_key;
  }

  // --- status ---------------------------------------------------------------------------------
  // A failed call: its error text and the step's tag, always shown.
  void ErrorLine(const char *tag) const {
    context_.report.Line(quillmate::ErrorLine(context_, tag));
  }
  // A failed authentication. When the card refused the key, the operator is told which of the
  // job's keys it does not have (`wrong_key`, the sentence the guide promises); the card's own
  // status text would only say that the authentication state does not allow the command. Any
  // other failure (the card gone, the reader lost) keeps its error text and the step's tag.
  void AuthFailureLine(const QString &wrong_key, const char *tag) const {
    if (LastError() == KOVRA_DESFIRE_AUTHENTICATION_ERROR) {
      context_.report.Line(wrong_key);
    } else {
      ErrorLine(tag);
    }
  }
  static QString WrongCardMasterKey() {
    return Texts::tr("Authentifizierung nicht möglich! Gewählter Card Master Key nicht gültig");
  }
  static QString WrongAppMasterKey() {
    return Texts::tr("Authentifizierung nicht möglich! Gewählter App Master Key nicht gültig");
  }
  // A fixed text: not repeated during a cycle tick.
  void Message(const QString &line) const { context_.report.Message(line); }
  void ShowMessage(const QString &text) const { context_.report.ShowMessage(text); }

  // --- step A: the card master key --------------------------------------------------------------
  Step CardMasterKey() {
    const QByteArray &card_key = plan_.card_master_key;
    if (card_key.isEmpty()) return Step::kGoOn;
    if (!Select(kCardLevel)) {
      ErrorLine(" <SelectCardLevel>");
      return Step::kFail;
    }
    if (AuthAes(0, card_key)) return Step::kGoOn;
    if (!AuthAes(0, kFactoryKey) && !AuthIso(0, kFactoryKey)) {
      AuthFailureLine(WrongCardMasterKey(), " <Auth(CardKey,0)>");
      return Step::kFail;
    }
    if (!ChangeKey(0, card_key)) {
      ErrorLine(" <Change(CardKey)>");
      return Step::kFail;
    }
    return Step::kGoOn;
  }

  // --- step R: a repair pass removes the application --------------------------------------------
  Step RemoveApplication() {
    while (true) {
      if (DetectCard(context_, false)) {
        if (uid_.isEmpty() || context_.cards.current_uid == uid_) break;
        card_left_ = true;
        const QString other_card =
            Texts::tr("Auf dem Leser liegt eine andere Karte (%1), sie wird nicht beschrieben!")
                .arg(CardUidText(context_.cards.current_uid));
        if (data_may_be_on_card_) {
          // The card begun may hold the data: only that card may be repaired. Waiting for it
          // while other cards come would hold the series up, so its value ends here (the caller
          // skips it) and the card on the reader starts afresh with the series' next value.
          context_.report.Line(other_card);
          // Out of the session this look opened: a cycle's next look then meets the card as a
          // new one (or as the card it finished last) rather than as the card just failed.
          ResetRfField(context_);
          return Step::kFail;
        }
        // Another card was laid: it is not touched, and the operator learns which card the run
        // still needs before anything is sent to the new one.
        context_.report.ShowLamp(Lamp::kWaiting);
        const QString question = other_card + QLatin1Char('\n') + PlaceCardQuestion();
        if (context_.report.AskRetryCancel(question) != FrontEnd::Answer::kRetry) {
          return Step::kFail;
        }
        continue;
      }
      card_left_ = true;
      // A reader that is gone is reported by the detection; asking for a card would loop.
      if (context_.handle <= 0 || ReaderLinkLost(handle_)) return Step::kFail;
      // The card is gone: nothing is being written while the question waits for it.
      context_.report.ShowLamp(Lamp::kWaiting);
      if (context_.report.AskRetryCancel(PlaceCardQuestion()) != FrontEnd::Answer::kRetry) {
        Message(Texts::tr("Kein gültiger Transponder vorhanden!"));
        return Step::kFail;
      }
    }
    context_.report.ShowLamp(Lamp::kYellow);
    if (!Select(kCardLevel)) {
      ErrorLine(" <SelectCard>");
      return Step::kFail;
    }
    const Step authenticated = AuthenticateForDeletion();
    if (authenticated != Step::kGoOn) return authenticated;
    if (KOVRA_DESFireDeleteApplication(handle_, job_.app_id) != 0 &&
        LastError() != KOVRA_DESFIRE_APP_NOT_FOUND) {
      const QString line = quillmate::ErrorLine(context_, " <DeleteApp>");
      ShowMessage(line);
      context_.report.Line(line);
      return Step::kFail;
    }
    Message(Texts::tr("Die gewählte Applikation wurde gelöscht!"));
    changed_ = true;
    stage_ = std::min(stage_, Stage::kApplication);
    return Step::kGoOn;
  }

  // "Bitte Karte auflegen!", naming the card the run has begun.
  QString PlaceCardQuestion() const {
    const QString question = Texts::tr("Bitte Karte auflegen!");
    if (uid_.isEmpty()) return question;
    return question + QLatin1Char('\n') +
           Texts::tr("Die Karte %1 ist noch nicht fertig beschrieben.").arg(CardUidText(uid_));
  }

  // The first key that opens the card or the application for deleting it.
  Step AuthenticateForDeletion() {
    if (!plan_.card_master_key.isEmpty() && AuthAes(0, plan_.card_master_key)) return Step::kGoOn;
    if (AuthAes(0, kFactoryKey) || AuthIso(0, kFactoryKey)) return Step::kGoOn;
    if (!Select(job_.app_id) && LastError() != KOVRA_DESFIRE_APP_NOT_FOUND) {
      ErrorLine(" <SelectApp>");
      return Step::kFail;
    }
    if (!plan_.app_master_key.isEmpty() && AuthAes(0, plan_.app_master_key)) return Step::kGoOn;
    if (AuthAes(0, kFactoryKey)) return Step::kGoOn;
    if (LastError() == KOVRA_DESFIRE_NO_SUCH_KEY) return Step::kGoOn;
    const QString line = WrongAppMasterKey();
    ShowMessage(line);
    Message(line);
    return Step::kFail;
  }

  // --- steps S, E or C, F and W: one pass ------------------------------------------------------
  Step InstallAndWrite() {
    Step step = Step::kGoOn;
    if (Select(job_.app_id)) {
      Message(Texts::tr("App ID existiert bereits!"));
      step = AlignExistingApplication();
    } else if (LastError() == KOVRA_DESFIRE_APP_NOT_FOUND) {
      step = CreateApplication();
    } else {
      ErrorLine(" <SelectApp()>");
      return Step::kNextPass;
    }
    if (step != Step::kGoOn) return step;
    stage_ = Stage::kFile;
    step = EnsureDataFile();
    if (step != Step::kGoOn) return step;
    stage_ = Stage::kData;
    return WriteData();
  }

  // Step E: an existing application gets the job's keys where it still has factory keys.
  Step AlignExistingApplication() {
    if (job_.key_count >= 1) {
      const QByteArray &app_key = plan_.app_master_key;
      bool done = AuthAes(0, app_key);
      if (!done && LastError() == KOVRA_DESFIRE_AUTHENTICATION_ERROR) done = AuthIso(0, app_key);
      if (!done) {
        if (LastError() == KOVRA_DESFIRE_NO_SUCH_KEY) {
          Message(
              Texts::tr("App hat nicht die richtigen Keys, Applikation wird gelöscht und neu "
                        "erzeugt!"));
          return Step::kNextPass;
        }
        if (!AuthAes(0, kFactoryKey)) {
          AuthFailureLine(WrongAppMasterKey(), " <Auth(AppKey)>");
          return Step::kFail;
        }
        if (!ChangeKey(0, app_key)) {
          ErrorLine(" <Change(AppKey)>");
          return Step::kFail;
        }
      }
    }
    if (NeedsOwnKey(plan_.read_nibble) && !AlignReadKey(plan_.read_nibble)) {
      AuthFailureLine(
          Texts::tr("Authentifizierung nicht möglich! Gewählter Lesen Key nicht gültig"),
          " <Auth(ReadKey)>");
      return Step::kFail;
    }
    const int write = plan_.write_nibble;
    if (NeedsOwnKey(write) && write != plan_.read_nibble && !AlignKey(write, plan_.write_key)) {
      AuthFailureLine(
          Texts::tr("Authentifizierung nicht möglich! Gewählter Schreiben Key nicht gültig"),
          " <Auth(WriteKey)>");
      return Step::kFail;
    }
    const int read_write = plan_.read_write_nibble;
    if (NeedsOwnKey(read_write) && read_write != plan_.read_nibble && read_write != write &&
        !AlignKey(read_write, plan_.read_write_key)) {
      AuthFailureLine(
          Texts::tr("Authentifizierung nicht möglich! Gewählter Lesen/Schreiben Key nicht gültig"),
          " <Auth(ReadWriteKey)>");
      return Step::kFail;
    }
    return Step::kGoOn;
  }

  // The read key may still be a factory key of either type, or the job's key as a DES key.
  bool AlignReadKey(int key_no) {
    const QByteArray &key = plan_.read_key;
    if (AuthAes(key_no, key)) return true;
    const bool opened =
        AuthAes(key_no, kFactoryKey) || AuthIso(key_no, key) || AuthIso(key_no, kFactoryKey);
    return opened && ChangeKey(key_no, key);
  }

  bool AlignKey(int key_no, const QByteArray &key) {
    if (AuthAes(key_no, key)) return true;
    return AuthAes(key_no, kFactoryKey) && ChangeKey(key_no, key);
  }

  // Step C: a new application with the job's keys.
  Step CreateApplication() {
    // A DESFire application has at least one key (the card refuses 0 with a parameter error).
    // A job without keys gets an application whose only key, the master key, keeps its factory
    // value and is never used: the file's rights are all free then.
    const int key_count = std::max(job_.key_count, 1);
    if (KOVRA_DESFireCreateApplication(handle_, job_.app_id, kCryptoAes, key_count, 0,
                                       kChangeWithItself, kKeySettings, nullptr, 0) != 0) {
      ErrorLine(" <CreateApp()>");
      return Step::kNextPass;
    }
    changed_ = true;
    if (!Select(job_.app_id)) {
      ErrorLine(" <SelectApp()>");
      return Step::kNextPass;
    }
    if (!plan_.app_master_key.isEmpty()) {
      const Step step =
          InstallKey(0, plan_.app_master_key, " <Auth(AppKey,0)>", " <Change(AppKey)>");
      if (step != Step::kGoOn) return step;
    }
    const int read = plan_.read_nibble;
    if (NeedsOwnKey(read)) {
      const Step step =
          InstallKey(read, plan_.read_key, " <Auth(ReadKey,0)>", " <Change(ReadKey)>");
      if (step != Step::kGoOn) return step;
    }
    const int write = plan_.write_nibble;
    if (NeedsOwnKey(write) && write != read) {
      const Step step =
          InstallKey(write, plan_.write_key, " <Auth(WriteKey,0)>", " <Change(WriteKey)>");
      if (step != Step::kGoOn) return step;
    }
    const int read_write = plan_.read_write_nibble;
    if (NeedsOwnKey(read_write) && read_write != read && read_write != write) {
      const Step step = InstallKey(read_write, plan_.read_write_key, " <Auth(ReadWriteKey,0)>",
                                   " <Change(ReadWriteKey)>");
      if (step != Step::kGoOn) return step;
    }
    Message(Texts::tr("App wurde neu erzeugt"));
    return Step::kGoOn;
  }

  // A key of a new application: from the factory default key to the job's key.
  Step InstallKey(int key_no, const QByteArray &key, const char *auth_tag, const char *change_tag) {
    if (!AuthAes(key_no, kFactoryKey)) {
      ErrorLine(auth_tag);
      return Step::kNextPass;
    }
    if (!ChangeKey(key_no, key)) {
      ErrorLine(change_tag);
      return Step::kNextPass;
    }
    return Step::kGoOn;
  }

  // Step F: the standard data file, created or checked against the job.
  Step EnsureDataFile() {
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
    if (KOVRA_DESFireGetFileSettings(handle_, job_.file_id, settings, kSettingsRoom) <
        kMinSettings) {
      ErrorLine(" <GetFileSettings()>");
      return Step::kNextPass;
    }
    if (settings[0] != kStandardDataFile || settings[1] != comm) {
      Message(Texts::tr("File hat den falschen Typ, Applikation wird gelöscht und neu erzeugt!"));
      return Step::kNextPass;
    }
    if ((settings[2] | (settings[3] << 8)) != access) {
      Message(Texts::tr(
          "File hat nicht die richtigen Keys, Applikation wird gelöscht und neu erzeugt!"));
      return Step::kNextPass;
    }
    const int size = settings[4] | (settings[5] << 8) | (settings[6] << 16);
    if (size < data_.size()) {
      Message(
          Texts::tr("File hat nicht genügend Platz, Applikation wird gelöscht und neu erzeugt!"));
      return Step::kNextPass;
    }
    // A size travels in 24 bits, so it never exceeds the longest file a job may ask for: the
    // whole file fits the write.
    file_size_ = size;
    ReadEarlierData();
    return Step::kGoOn;
  }

  // What a file kept from an earlier write holds, read with the job's read right (the
  // read/write right when there is none), so that a card that already carries a value can be
  // named. Nothing on the card changes; when the read fails the write goes on without it.
  void ReadEarlierData() {
    // A later pass finds what an earlier pass of this run left: only the first read counts.
    if (earlier_data_ || job_.length <= 0) return;
    const int read = plan_.read_nibble;
    const int key_no = NeedsKey(read) || read == kNibbleFree ? read : plan_.read_write_nibble;
    int comm = FileModeByte(job_.file_mode);
    if (NeedsKey(key_no)) {
      if (!AuthAes(key_no, KeyOf(key_no))) return;
    } else if (key_no == kNibbleFree) {
      // Free reading is plain and outside a session (see the free write below).
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

  // Step W: authenticate for the write right, then write all bytes at offset 0. kGoOn: written.
  Step WriteData() {
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

 public:
  bool DataMayBeOnCard() const { return data_may_be_on_card_; }
  const QByteArray &FileImage() const { return file_image_; }
  const std::optional<QByteArray> &EarlierData() const { return earlier_data_; }

 private:
  // After a failed data write: false only when the card certainly did not take the data, because
  // it answered with an error status of its own or the library refused the call before sending.
  // A missing or broken answer, an answer whose MAC or CRC does not match (the card took the
  // data and said so) and a card still waiting for more frames leave the outcome open.
  static bool CardMayHoldData(int error) {
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

  WriterContext &context_;
  const DesfireSet &job_;
  const KeyPlan &plan_;
  const QByteArray &data_;
  const int handle_;
  const QByteArray uid_;  // the card the run began on
  bool data_may_be_on_card_ = false;
  bool changed_ = false;
  bool card_left_ = false;  // a repair pass did not find the card on the reader
  int file_size_ = 0;       // the size of the job's file on the card
  QByteArray file_image_;   // the whole file as written
  std::optional<QByteArray> earlier_data_;
  Stage stage_ = Stage::kCardKey;
};

}  // namespace

bool WriteCard(WriterContext &context, const DesfireSet &job, const KeyPlan &plan,
               const QByteArray &data, WriteDetails *details) {
  WriteRun run(context, job, plan, data);
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
