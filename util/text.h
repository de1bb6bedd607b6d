#pragma once
// Narrow-text and path helpers. Portable: no windows.h, so the native tree
// and the fuzzers link them too.

// Copies src to dest unbounded; returns the terminator written, so calls chain.
// No src empties dest; no dest gives nullptr. The caller guarantees room.
char *CopyTextEnd(char *dest, const char *src);

// Copies at most size - 1 characters and always terminates; returns dest.
char *CopyTextBounded(char *dest, const char *src, int size);

// CopyTextBounded with the smaller of the two bounds as the size.
char *CopyTextLimited(char *dest, const char *src, int lengthBound, int sizeBound);

// The text after the last "\" or "/" (the whole path without one). With out,
// the component is copied there and out is returned; else a position in path.
const char *LastPathComponent(const char *path, char *out = nullptr);
