#pragma once
// Narrow-text and path helpers. Portable: no windows.h, so the native tree
// and the fuzzers link them too. Texts are code page 936; whatever looks for
// a separator steps by characters, since the second byte of a double-byte
// character may be 0x5C, the byte of "\" (誠 is D5 5C).

// Copies src to dest unbounded; returns the terminator written, so calls chain.
// No src empties dest; no dest gives nullptr. The caller guarantees room.
char *CopyTextEnd(char *dest, const char *src);

// Copies at most size - 1 characters and always terminates; returns dest.
char *CopyTextBounded(char *dest, const char *src, int size);

// folder + name into out, size bytes; false, with out emptied, when they do
// not fit. Every path the installer builds in a fixed buffer goes through it.
bool JoinPath(char *out, int size, const char *folder, const char *name);
template <int N>
bool JoinPath(char (&out)[N], const char *folder, const char *name) {
  return JoinPath(out, N, folder, name);
}

// CopyTextBounded with the smaller of the two bounds as the size.
char *CopyTextLimited(char *dest, const char *src, int lengthBound, int sizeBound);

// True for 0x81..0xFE, the bytes that start a double-byte character in code
// page 936 (IsDBCSLeadByteEx(936, byte)).
bool IsCp936LeadByte(unsigned char byte);

// The character after the one at p; p itself at the terminator. A lead byte
// right before the terminator is a character of its own (CharNextExA(936)).
const char *NextCp936Char(const char *p);

// True when the text's last character is "\" (a single-byte one).
bool EndsInBackslash(const char *text);

// The text after the last "\" or "/" (the whole path without one). With out,
// the component is copied there and out is returned; else a position in path.
const char *LastPathComponent(const char *path, char *out = nullptr);
