#pragma once
// Every application-defined window message of the installer. Both parameters
// are 0 and never read.

// Posted by the install worker: every step succeeded.
constexpr unsigned UM_INSTALL_OK = 0x0400 + 1;  // 1025
// Posted by the install worker: a step failed.
constexpr unsigned UM_INSTALL_FAILED = 0x0400 + 4;  // 1028
// Sent by any process: make the website link visible. The installer never
// sends it itself.
constexpr unsigned UM_SHOW_WEBSITE = 0x0400 + 12;  // 1036
