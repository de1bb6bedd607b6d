#pragma once

// Smallest text buffer GetFileVersionString may be given: "65535.65535.65535.65535".
constexpr int kVersionTextMinSize = 24;

// Reads the fixed file version of the file at path (ANSI) into text as
// "a.b.c.d". False, with text untouched, when the file has no readable
// version record.
bool GetFileVersionString(const char *path, char *text);

// True when the file at path carries exactly version as its fixed file
// version; whole strings, so "3.0.26.2030" does not pass for "3.0.26.203".
bool FileVersionIs(const char *path, const char *version);
