// One payload's carried files, from its generated layout, and the checks of
// that layout when the payload is compiled, so a generator fault cannot
// produce an installer that writes a wrong archive.
#include "payload/payload.h"

#include "payload/payload_layout.h"
#include "util/product_files.h"

namespace payload {

const unsigned char *const ExtractorImage = ::ExtractorImage;
const unsigned long ExtractorImageSize = ::ExtractorImageSize;
const unsigned char *const CodecLibraryImage = ::CodecLibraryImage;
const unsigned long CodecLibraryImageSize = ::CodecLibraryImageSize;
const PayloadPiece *const ArchivePieces = ::ArchivePieces;
const unsigned long ArchiveChunkCount = ::ArchiveChunkCount;
const bool DefaultClientDataKnown = ::DefaultClientDataKnown != 0;
const unsigned long DefaultClientDataSize = ::DefaultClientDataSize;
const unsigned long DefaultClientDataCrc = ::DefaultClientDataCrc;

}  // namespace payload

namespace {

constexpr bool PiecesAreWellFormed() {
  unsigned long total = 0;
  for (unsigned long i = 0; i < ArchiveChunkCount; ++i) {
    bool last = i + 1 == ArchiveChunkCount;
    unsigned long size = ::ArchivePieces[i].size;
    if (size == 0 || size > ArchiveChunkSize || (!last && size != ArchiveChunkSize)) return false;
    total += size;
  }
  return total == ArchiveSize;
}

}  // namespace

static_assert(ArchiveChunkSize == kArchiveChunkSize,
              "the generator cut the archive at the chunk size");
static_assert(ArchiveChunkCount == (ArchiveSize + ArchiveChunkSize - 1) / ArchiveChunkSize,
              "one piece per started chunk of the archive");
static_assert(PiecesAreWellFormed(), "the pieces must join into the whole archive");
static_assert(ExtractorImageSize > 0 && CodecLibraryImageSize > 0, "the extractor pair is empty");
