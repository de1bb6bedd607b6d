#pragma once
#include <windows.h>

// Title text of the extractor's progress dialog, CP936 ("解压文件...").
extern const char kExtractDialogTitle[];

constexpr DWORD kWatcherStackSize = 4 * 1024 * 1024;
constexpr DWORD kSearchPeriodMs = 30;
constexpr DWORD kGuardPeriodMs = 100;
constexpr DWORD kPressTimeMs = 100;
constexpr DWORD kAfterClickPauseMs = 15 * 60 * 1000;
// x = 30, y = 10 in the button's client coordinates.
constexpr LPARAM kClickPoint = 0x000A001E;

// What the watcher thread is given: the title text it looks for, the process
// whose windows it tends, and the event that ends it.
struct DialogWatcherArgs {
  const char *title;
  DWORD processId;
  HANDLE stop;
};

// First top-level window in Z order of the process processId whose class name
// starts with '#' and whose title contains text; NULL when there is none.
HWND FindDialogByTitle(const char *text, DWORD processId);

// Thread body: finds the dialog, then hides its buttons and clicks the one that
// says "关闭". args is a DialogWatcherArgs*; returns once args->stop is set.
DWORD WINAPI DialogWatcher(LPVOID args);

// Starts DialogWatcher on its own 4 MiB stack, creating args->stop. NULL when
// it cannot run; StopDialogWatcher accepts that NULL.
HANDLE StartDialogWatcher(DialogWatcherArgs *args);

// Ends the watcher and waits until it has ended, so that nothing it sends can
// follow this call; closes both handles.
void StopDialogWatcher(HANDLE watcher, DialogWatcherArgs *args);

// Unpacks archivePath into outputFolder with extractorFolder + "7ZG.EXE",
// run hidden while a watcher guards the dialog of that process. True when the
// extractor ran and exited with 0 or 2.
bool RunExtractorProgram(const char *outputFolder, const char *archivePath,
                         const char *extractorFolder);
