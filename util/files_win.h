#pragma once
// Creates every missing folder along path, outermost first. With lastIsFile
// the last component is left alone (it names a file). In a UNC path the chain
// starts below the share, which must exist. path is written while
// this runs and restored before it returns. 1 on success, else 0 with the
// system's last error as the failing call left it.
int CreateDirectoryChain(char *path, bool lastIsFile);
