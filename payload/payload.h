#pragma once
// The carried files, as constant data read in place: ExtractorImage (written
// as 7ZG.EXE), CodecLibraryImage (7Z.DLL) and the archive setup.zip in
// ArchiveChunkCount pieces of ArchiveChunkSize bytes, the last one taking the
// rest. Write ArchivePieces[0] and append the others in order. Every length
// (ExtractorImageSize, CodecLibraryImageSize, ArchiveSize, ArchiveChunkNSize)
// is a compile-time constant from the generated layout header.

struct PayloadPiece {
  const unsigned char *data;
  unsigned long size;
};

#include "payload/payload_layout.h"
