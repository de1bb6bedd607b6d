#include "install/install_state.h"

char InstallDir[kInstallDirSize] = {};
SetupFlagBytes SetupFlags = {0, 1, 0};
