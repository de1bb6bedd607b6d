#pragma once
// Whole-file reads and writes through C stdio. Portable. Paths are ANSI.

// The file's bytes in a new malloc'ed buffer of size + 4 bytes (the extra four
// are not written, so there is no terminator); release it with free(). Missing,
// unreadable and empty files alike give nullptr and *size 0.
char *ReadWholeFile(const char *path, int *size);

// Creates or empties the file and writes the block: 1 when all of it reached
// the file, else 0 (a partly written file stays).
int WriteWholeFile(const char *path, const void *data, int count);

// Appends the block, creating a missing file: 1 when all of it reached the
// file, else 0.
int AppendToFile(const char *path, const void *data, int count);

// CRC-32 (the ZIP one: reflected 0xEDB88320, all ones in and out) of the block.
unsigned long Crc32(const void *data, unsigned long size);
