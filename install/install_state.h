#pragma once
// Process-wide install settings. The setup window writes them before it starts
// the install worker and not again while the worker runs, so no lock guards them.

#include "util/product_files.h"

// InstallDir is a path buffer like every other.
constexpr int kInstallDirSize = kPathSize;

// The install folder, ANSI; ends in a backslash once the install has started.
extern char InstallDir[kInstallDirSize];

struct SetupFlagBytes {
  unsigned char autoSetup;        // set by the "auto_setup" option
  unsigned char desktopShortcut;  // always 1
  unsigned char autorun;          // the autorun check box at the Install click
};
extern SetupFlagBytes SetupFlags;
