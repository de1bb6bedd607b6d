#pragma once
// The carried files, as constant data read in place: ExtractorImage (written
// as 7ZG.EXE), CodecLibraryImage (7Z.DLL) and the archive setup.zip in
// ArchiveChunkCount pieces, the last one taking the rest. Write
// ArchivePieces[0] and append the others in order. Each payload library
// defines these from its generated layout (payload/payload_layout.h, where
// every length is a compile-time constant); the worker that reads them is
// compiled once for all payloads.

struct PayloadPiece {
  const unsigned char *data;
  unsigned long size;
};

namespace payload {

extern const unsigned char *const ExtractorImage;
extern const unsigned long ExtractorImageSize;
extern const unsigned char *const CodecLibraryImage;
extern const unsigned long CodecLibraryImageSize;
extern const PayloadPiece *const ArchivePieces;
extern const unsigned long ArchiveChunkCount;
// The size and CRC-32 of the archive's own root TovraClient.dat (Known false
// when it carries none).
extern const bool DefaultClientDataKnown;
extern const unsigned long DefaultClientDataSize;
extern const unsigned long DefaultClientDataCrc;

}  // namespace payload
