// What the program's windows look like, set up once for the whole program: the pictures compiled
// into it (":/art/..."; their resource lives in a static library, whose initialiser the linker
// drops unless it is called) and a style whose hidden text shows one asterisk per character,
// whatever the desktop style's password character.
#pragma once

namespace quillmate::ui {

// Safe to call more than once; needs the QApplication.
void InitAppearance();

}  // namespace quillmate::ui
