#pragma once
// The one rule for an install folder, applied by the window at the Install
// click, before anything is created, and by the install worker again.

// The longest name the installer puts into the folder.
constexpr char kLongestInstalledName[] = "TovraClientService.exe";

// The longest folder, its closing backslash counted: the folder's longest
// path must fit MAX_PATH (260) with its terminator.
constexpr int kMaxInstallDirLength = 260 - 1 - (sizeof kLongestInstalledName - 1);  // 237

// True when folder, an ANSI text with its closing backslash, can take an
// install: absolute ("X:\..." or "\\server\share\..."), at most
// kMaxInstallDirLength characters, and free of "%".
bool InstallFolderUsable(const char *folder);
