#pragma once
// The command line the installer gives the extractor. Portable: the tests
// that start the extractor as the installer does build it here too.

// The command's buffer, terminator included.
constexpr int kExtractCommandSize = 600;

// x "<archivePath>" -o"<outputFolder>" -y into out (size bytes); false, with
// out emptied, when the two paths and the 12 fixed characters do not fit.
bool BuildExtractCommand(char *out, int size, const char *archivePath, const char *outputFolder);
