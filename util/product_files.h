#pragma once
// The names and sizes that the installer, its payload generator and the
// build-time archive check share. Portable: the host tools include it too.

// What the installer writes into the install folder before extracting.
constexpr char kExtractorFile[] = "7ZG.EXE";
constexpr char kCodecFile[] = "7Z.DLL";
constexpr char kArchiveFile[] = "setup.zip";
// The installed program whose file version decides the install's outcome; the
// longest name the installer puts into the folder.
constexpr char kServiceProgram[] = "TovraClientService.exe";
// The other names the installer relies on at the archive's root.
constexpr char kControlProgram[] = "TovraControl.exe";
constexpr char kClientData[] = "TovraClient.dat";
// The Install click's copy of the user's TovraClient.dat.
constexpr char kClientDataBackup[] = "TovraClient.dat.bak";

// The archive is carried in pieces of this many bytes, the last taking the rest.
constexpr unsigned long kArchiveChunkSize = 2831152UL;

// The largest archive an installer may carry: 1,023 MiB, so that the whole
// 32-bit image (archive, extractor pair and the installer's own code, under
// 1 MiB together) stays within 1 GiB. Windows maps an image into one free
// range of its size when the process is made, and the DLLs, heaps and stacks
// that come after it need the rest of the 2 GB a 32-bit process has (on
// 32-bit Windows, and on 64-bit Windows without /LARGEADDRESSAWARE); half of
// it for the image is what every supported PC can be counted on to give.
// The measures behind it: docs/architecture.md, "How large a product".
// payload/CMakeLists.txt reads this line.
constexpr unsigned long kMaxArchiveSize = 1072693248UL;

// Every path buffer of the installer, the install folder's included.
constexpr int kPathSize = 600;
