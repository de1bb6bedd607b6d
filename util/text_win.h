#pragma once
// UTF-16 to the ANSI code page. out needs 2 * length + 1 bytes; length is the
// text's real length in UTF-16 units (no terminator is read). Returns the bytes
// written without the terminator; 0 (and empty out) when nothing converts.
int WideToAnsi(char *out, const wchar_t *text, int length);
