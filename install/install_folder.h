#pragma once
// The one rule for an install folder, applied by the window at the Install
// click, before anything is created, and by the install worker again.

#include "util/product_files.h"

// The longest folder, its closing backslash counted: the folder's longest
// path (the service program's) must fit MAX_PATH (260) with its terminator.
constexpr int kMaxInstallDirLength = 260 - 1 - (sizeof kServiceProgram - 1);  // 237

// True when folder, an ANSI text with its closing backslash, can take an
// install: absolute ("X:\..." or "\\server\share\..."), at most
// kMaxInstallDirLength characters, free of "%" and of the characters no
// file name may hold (control characters, " * < > ? | and a colon past the
// drive's), with no component named as a device (CON, NUL.txt, COM1,
// CONIN$, ...) or ending in a blank or a full stop (util/win_names.h).
bool InstallFolderUsable(const char *folder);
