// One run of the write sequence on one card: the state its steps share and the steps themselves,
// each defined in the file named after it (card key and keys, application, file, write, repair).
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <optional>

#include "writer/cards/writer_context.h"
#include "writer/job/desfire_set.h"
#include "writer/job/key_plan.h"

namespace quillmate::write_steps {

// How a step ends: the sequence goes on, starts the next pass, or ends with false.
enum class Step { kGoOn, kNextPass, kFail };

// What the card holds of the job so far, in the order the sequence gets there: the first stage not
// yet reached is what the card still lacks (with every stage after it).
enum class Stage { kCardKey, kApplication, kFile, kData, kDone };

// The steps by the letters of their status lines: A the card master key, then per pass S selects
// the application, E aligns an existing one or C creates it, F makes sure of the data file and W
// writes the data; R, the repair pass before every further pass, removes the application.
class WriteRun {
  // The operator texts of the write sequence, in one context for all its steps.
  Q_DECLARE_TR_FUNCTIONS(WriteSequence)

 public:
  WriteRun(WriterContext &context, const DesfireSet &job, const KeyPlan &plan,
           const QByteArray &data);

  // Runs step A and the passes; true when the card has taken all bytes.
  bool Run();

  // True when the run changed the card (a key, the application, the file, possibly the data) and
  // then lost it: the card left the field, another one was laid, the reader went, or the data
  // write got no answer. A card that stayed and refused a step has its step's line already.
  bool LeftTheCardHalfWritten() const;
  // The status line that makes a card left half-written identifiable: its UID and what it lacks.
  QString UnfinishedCardLine() const;

  bool DataMayBeOnCard() const { return data_may_be_on_card_; }
  const QByteArray &FileImage() const { return file_image_; }
  const std::optional<QByteArray> &EarlierData() const { return earlier_data_; }

 private:
  bool RunPasses();
  // Steps S, E or C, F and W: one pass.
  Step InstallAndWrite();

  // --- the card's calls and the status lines every step uses (write_run.cpp) ------------------
  bool Select(int aid);
  bool AuthAes(int key_no, const QByteArray &key);
  bool AuthIso(int key_no, const QByteArray &key);
  // The job's keys are AES keys; a changed key marks the card as changed.
  bool ChangeKey(int key_no, const QByteArray &key);
  int LastError() const;
  // The key the job gives a key number. Of two rights on one key only the first in the order
  // read, write, read/write carries the key (the plan leaves the others empty).
  QByteArray KeyOf(int nibble) const;
  // A failed call: its error text and the step's tag, always shown.
  void ErrorLine(const char *tag) const;
  // A failed authentication. When the card refused the key, the operator is told which of the
  // job's keys it does not have (`wrong_key`, the sentence the guide promises); the card's own
  // status text would only say that the authentication state does not allow the command. Any
  // other failure (the card gone, the reader lost) keeps its error text and the step's tag.
  void AuthFailureLine(const QString &wrong_key, const char *tag) const;
  static QString WrongCardMasterKey();
  static QString WrongAppMasterKey();
  // A fixed text: not repeated during a cycle tick.
  void Message(const QString &line) const;
  void ShowMessage(const QString &text) const;

  // --- step A and the application's keys (keys_steps.cpp) -----------------------------------------
  // Step A: the card master key.
  Step CardMasterKey();
  // The access keys of an existing application: the job's keys where it still has factory keys.
  Step AlignAccessKeys();
  // The read key may still be a factory key of either type, or the job's key as a DES key.
  bool AlignReadKey(int key_no);
  bool AlignKey(int key_no, const QByteArray &key);
  // Every key of a new application, from the factory default key to the job's key.
  Step InstallJobKeys();
  Step InstallKey(int key_no, const QByteArray &key, const char *auth_tag, const char *change_tag);

  // --- steps S, E and C: the application (application_step.cpp) --------------------------------
  // Step S and then E or C: the job's application selected, aligned or created.
  Step EnsureApplication();
  // Step E: an existing application gets the job's keys where it still has factory keys.
  Step AlignExistingApplication();
  Step AlignAppMasterKey();
  // Step C: a new application with the job's keys.
  Step CreateApplication();

  // --- step F: the data file (file_step.cpp) ----------------------------------------------------
  // The standard data file, created or checked against the job.
  Step EnsureDataFile();
  // What a file kept from an earlier write holds, read with the job's read right (the
  // read/write right when there is none), so that a card that already carries a value can be
  // named. Nothing on the card changes; when the read fails the write goes on without it.
  void ReadEarlierData();

  // --- step W: the data (write_step.cpp) --------------------------------------------------------
  // Authenticate for the write right, then write all bytes at offset 0. kGoOn: written.
  Step WriteData();
  // After a failed data write: false only when the card certainly did not take the data, because
  // it answered with an error status of its own or the library refused the call before sending.
  // A missing or broken answer, an answer whose MAC or CRC does not match (the card took the
  // data and said so) and a card still waiting for more frames leave the outcome open.
  static bool CardMayHoldData(int error);

  // --- step R: a repair pass removes the application (repair_pass.cpp) ------------------------
  Step RemoveApplication();
  // The card the run began on, back on the reader before anything is sent to it.
  Step FindBegunCard();
  // "Bitte Karte auflegen!", naming the card the run has begun.
  QString PlaceCardQuestion() const;
  // The first key that opens the card or the application for deleting it.
  Step AuthenticateForDeletion();

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

// The factory default key: empty, the library takes it.
inline const QByteArray kFactoryKey;
// The card level, where the card master key lives.
inline constexpr int kCardLevel = 0;

}  // namespace quillmate::write_steps
