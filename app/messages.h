#pragma once
// Every application-defined window message of the installer: the worker's
// (install/worker_messages.h) and the window's own. Both parameters are 0 and
// never read.
#include "install/worker_messages.h"

// Sent by any process: make the website link visible. The installer never
// sends it itself.
constexpr unsigned UM_SHOW_WEBSITE = 0x0400 + 12;  // 1036
