#pragma once
// The window messages the install worker posts to the window it was given
// when it ends. Both parameters are 0 and never read.

// Every step succeeded.
constexpr unsigned UM_INSTALL_OK = 0x0400 + 1;  // 1025
// A step failed.
constexpr unsigned UM_INSTALL_FAILED = 0x0400 + 4;  // 1028
