// Erasing a card completely or removing one application from it, outside the write job. The
// front end's "Löschen" dialog hands its fields over as DeleteFields; the dialog's status box
// shows only the latest line, so every action writes exactly one line through Reporter::Line()
// (the front end empties its box before it calls), and a refused field goes to the operator
// through the front end's ShowMessage() as the field exchange's message box.
#pragma once

#include <QByteArray>
#include <QString>

#include "writer/cards/writer_context.h"
#include "writer/job/job_check.h"
#include "writer/run/run_result.h"

namespace quillmate {

// The dialog's fields. The App ID here may be 0 (the card level), unlike the write job's.
struct DeleteFields {
  int app_id = 1;           // 0 to FFFFFF
  QString card_master_key;  // hex text, at most 32 digits; empty: the factory default key
  QString app_master_key;   // hex text, at most 32 digits; empty: the factory default key
  // "pro Karte ableiten": the key text is a master key (32 hex digits), and the card's own key is
  // derived from it, the card's UID, the AID (000000 for the card master key, app_id for the app
  // master key) and system_identifier, as the write derived it.
  bool card_master_key_derived = false;
  bool app_master_key_derived = false;
  QString system_identifier{};
};

// The field exchange of the dialog: App ID in 0 to FFFFFF ("Geben Sie eine ganze Zahl zwischen 0
// und FFFFFF ein."), key texts of at most 32 characters ("Geben Sie höchstens 32 Zeichen ein.")
// made of hex digits only ("Keine Hex-Eingabe"); a derived key's master key of exactly 32 digits
// and, with a derived key, a valid system identifier (the job check's messages). Passed, or
// refused with the field to focus.
JobCheck CheckDeleteFields(const DeleteFields &fields);

// The dialog's own activation: RF field off and on, request, select, SAK check, RATS and PPS with
// the fixed parameter 0x0A. No memory of earlier cards, no presence shortcut; the context's card
// memory is left alone. Result: true when a DESFire card is ready for DESFire commands; false
// after one status line. `card_uid`, when given, receives the UID of the card that answered the
// select (empty when none did).
bool DetectCardForDelete(WriterContext &context, QByteArray *card_uid = nullptr);

// The questions a front end asks before it erases: what will be lost, so that a click on the
// wrong button costs no card.
QString FormatCardQuestion();
QString DeleteApplicationQuestion(const DeleteFields &fields);

// Formats the card on the reader with the card master key of `fields` (derived for the card when
// asked, AES, then ISO) and sets
// its master key back to the factory default key (16 zero bytes, version 0) of the same type: AES
// when the old master key was AES, DES/3DES otherwise. done after "Karte wurde gelöscht!" with the
// card's UID; not done after one status line, or after a field refusal (shown through the front
// end, in check) with nothing sent to the reader.
RunResult FormatCard(WriterContext &context, const DeleteFields &fields);

// Deletes application fields.app_id, authenticated with its app master key (derived for the card
// when asked, AES, then ISO). A card without a fixed UID is refused when a key is derived.
// done after "Die gewählte Applikation wurde gelöscht!" with the card's UID; otherwise as
// FormatCard.
RunResult DeleteApplication(WriterContext &context, const DeleteFields &fields);

}  // namespace quillmate
