#pragma once

// Smallest text buffer GetFileVersionString may be given: "65535.65535.65535.65535".
constexpr int kVersionTextMinSize = 24;

// Reads the fixed file version of the file at path (ANSI) into text as
// "a.b.c.d". False, with text untouched, when the file has no readable
// version record.
bool GetFileVersionString(const char *path, char *text);
