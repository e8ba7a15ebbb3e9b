// Whether the bytes of a settings file are an INI text at all, judged from the bytes alone. The
// INI reader behind the settings is lenient: many damaged files (random bytes, a binary written
// over the file) pass it without an error and would be taken as settings of garbage keys and then
// rewritten. What this program and a hand at an editor write passes; anything else is damaged.
#pragma once

#include <QByteArray>

namespace quillmate {

// True when `bytes` are UTF-8 text (or, failing that, Latin-1 text) without a control character
// other than tab, CR and LF, and every line is blank, a comment (";" or "#"), a section
// ("[name]") or "key=value" with a key before the "=". An empty file passes.
bool IsSettingsText(const QByteArray &bytes);

}  // namespace quillmate
