// How the data text becomes the file's bytes and back, how it is tidied when taken over from the
// front end, and how its number counts up after every written card. The current counter value is
// the job's data text itself; there is no counter besides it. Numbers never go through the
// locale.
#pragma once

#include <QByteArray>
#include <QString>

#include "writer/job/desfire_set.h"
#include "writer/job/job_check.h"

namespace quillmate {

// The most characters the data text can usefully hold, also the width leading zeros pad to:
// ASCII: length; binary without number or hexadecimal: 2 x length; binary decimal: the decimal
// digits of the largest unsigned number of min(length, 8) bytes. A negative length gives 0.
int MaxDataChars(const DesfireSet &job);

// Encodes `text` into exactly job.length bytes (decimal binary: length <= 8), reversed when the
// orientation is rotated. ASCII text is Latin-1, one byte per character (other characters become
// '?'). Refused only for decimal binary longer than 8 bytes, with the message for the length
// field. Digits are assumed valid (ValidateWriteJob refuses others); a stray character reads as 0.
JobCheck EncodeData(const DesfireSet &job, const QString &text, QByteArray &bytes);

// True when `text` goes into the job's file whole: ASCII text of at most job.length characters,
// hex digits of at most 2 x length, a decimal number below 2^(8 x length) (at most 64 bits). A
// text that does not fit would be cut on the card, and a counting series would write the cut
// value again and again. Negative decimal numbers are left to EncodeData as they are.
bool ValueFitsFile(const DesfireSet &job, const QString &text);

// The data text for bytes read from a card under the job's settings (any number of bytes).
QString DecodeData(const DesfireSet &job, const QByteArray &bytes);

// Tidies job.data and counts its number up `steps` times (0 when taken over from the front end, 1
// after a written card with auto-increment): splits off prefix and suffix in ASCII
// representation (kept only when prefix text is allowed), drops and, with leading zeros on,
// re-adds leading zeros. Does nothing when the number format is none.
void NormaliseValue(DesfireSet &job, int steps);

// The operator picked another representation. A number keeps its value (the series writes the
// same number, as characters or as bytes); text without a number format is encoded with the
// settings before the change, decoded with the new ones and normalised, so the same bytes show as
// hex digits or as characters. Picking the current representation changes nothing.
void ChangeRepresentation(DesfireSet &job, Representation next);

// The operator picked another number format. Between decimal and hexadecimal the number keeps its
// value, written in the new digits (prefix and suffix kept); to or from "no number" the text
// stays as it is. Normalised afterwards; the current format changes nothing.
void ChangeNumberFormat(DesfireSet &job, NumberFormat next);

// True when the number of `value` lies below that of `series_next`, both read under the job's
// number format: an auto-increment series has given `value` out already. False for a job without
// a number format or without auto-increment (every card gets the same value there).
bool ValueAlreadyGivenOut(const DesfireSet &job, const QString &value, const QString &series_next);

}  // namespace quillmate
