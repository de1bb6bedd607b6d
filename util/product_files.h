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

// Every path buffer of the installer, the install folder's included.
constexpr int kPathSize = 600;
