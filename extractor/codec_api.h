#pragma once
// The C interface between our extractor's front end (7ZG.EXE) and its codec
// library (7Z.DLL). The library exports these functions by name (cdecl, no
// decoration); the front end resolves them with GetProcAddress. Strings are
// UTF-16, paths absolute or relative to the caller's current folder.
//
//   TzApiVersion()                     -> TZ_API_VERSION of the library
//   TzOpenArchive(path, &a)            -> TzResult; reads and checks the archive
//   TzEntryCount(a), TzTotalBytes(a)   -> entries, sum of unpacked sizes
//   TzEntryName(a, i, buf, cap)        -> the name for messages (cut to cap - 1)
//   TzEntryInfo(a, i, &size, &folder)  -> TzResult; unpacked size, 1 for a folder
//   TzExtractEntry(a, i, dir, overwrite, progress, ctx)
//                                      -> TzResult; stages entry i below dir
//   TzCommit(a, &failed)               -> TzResult; puts every staged file in place
//   TzRollback(a)                      -> removes what the staging made
//   TzCloseArchive(a)                  (rolls back what was not committed)
// TzExtractEntry may run for different entries of one archive on several
// threads at once; TzCommit and TzRollback run once, after all of them.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TZ_API_VERSION 3u  // 2: TzEntryInfo; 3: staging, TzCommit, TzRollback

enum TzResult {
  TZ_OK = 0,
  TZ_E_OPEN = 1,     // the archive file cannot be read
  TZ_E_NOT_ZIP,      // no ZIP end record
  TZ_E_BAD_ARCHIVE,  // central directory broken
  TZ_E_UNSUPPORTED,  // ZIP64 or multi-disk archive
  TZ_E_BAD_HEADER,   // local header disagrees with the central directory
  TZ_E_OVERLAP,      // entry overlaps another entry
  TZ_E_ENCRYPTED,    // encrypted entry
  TZ_E_METHOD,       // compression method other than stored or deflate
  TZ_E_BAD_DATA,     // compressed data broken or cut short
  TZ_E_SIZE,         // sizes disagree with the data
  TZ_E_CRC,          // CRC-32 mismatch
  TZ_E_UNSAFE_NAME,  // name would leave the output folder, or is invalid
  TZ_E_EXISTS,       // file exists and overwrite was not asked for
  TZ_E_WRITE,        // folder or file cannot be created or written
  TZ_E_NO_MEMORY,
  TZ_E_CANCELLED,  // the progress callback asked to stop
  TZ_E_ARGUMENT,   // bad index or null pointer
  TZ_E_IN_USE,     // an existing file is in use (a running program) and cannot be replaced
  TZ_E_OUTSIDE,    // the way to the target passes a link that leaves the output folder
  TZ_E_READ,       // the archive file cannot be read back
};

typedef struct TzArchive TzArchive;

// Called after each piece written with the bytes of this entry written so
// far; returns nonzero to go on, 0 to cancel (the entry's file is removed).
typedef int(__cdecl *TzProgressFn)(void *ctx, uint64_t entry_done);

typedef uint32_t(__cdecl *TzApiVersionFn)(void);
typedef int(__cdecl *TzOpenArchiveFn)(const wchar_t *path, TzArchive **out);
typedef uint32_t(__cdecl *TzEntryCountFn)(const TzArchive *a);
typedef uint64_t(__cdecl *TzTotalBytesFn)(const TzArchive *a);
typedef uint32_t(__cdecl *TzEntryNameFn)(const TzArchive *a, uint32_t index, wchar_t *buf,
                                         uint32_t cap);
typedef int(__cdecl *TzEntryInfoFn)(const TzArchive *a, uint32_t index, uint64_t *size,
                                    int *is_folder);
typedef int(__cdecl *TzExtractEntryFn)(TzArchive *a, uint32_t index, const wchar_t *out_dir,
                                       int overwrite, TzProgressFn progress, void *ctx);
typedef int(__cdecl *TzCommitFn)(TzArchive *a, uint32_t *failed_index);
typedef void(__cdecl *TzRollbackFn)(TzArchive *a);
typedef void(__cdecl *TzCloseArchiveFn)(TzArchive *a);

#ifdef __cplusplus
}
#endif
