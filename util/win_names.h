#pragma once
// Windows name rules. Portable: no windows.h, so the native tree and the
// fuzzers link them too. Narrow texts are code page 936 (the installer's
// folder), wide ones UTF-16 (the extractor's entry names); "\" and "/" are
// both separators.

#include <cstddef>
#include <string_view>

// A component Windows takes for a device in every folder: CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, CLOCK$, COM0-9 and LPT0-9 (in UTF-16 also COM¹²³ and
// LPT¹²³), in any case, with any extension and blanks before it ("nul .txt").
bool IsWindowsDeviceName(std::string_view component);
bool IsWindowsDeviceName(std::u16string_view component);

// True for a character no file or folder name may hold: a control character
// or one of " * : < > ? |.
bool IsCharForbiddenInNames(char32_t c);

// True when the component ends in a blank or a full stop.
bool EndsInBlankOrDot(std::string_view component);
bool EndsInBlankOrDot(std::u16string_view component);

// The length of the "\\server\share" path starts with (both names given, the
// server neither "?" nor "."); 0 when it starts otherwise.
size_t UncRootLength(std::string_view path);
size_t UncRootLength(std::u16string_view path);

// One step of a folder chain: the first `length` units of the path. kShare is
// a UNC root, which no chain can make; kFolder one to make (or a drive's root,
// "X:", which the system answers like an existing folder).
enum class ChainStep { kShare, kFolder };
using ChainStepFn = bool (*)(void *context, size_t length, ChainStep step);

// Calls step for every folder along path, outermost first: each prefix that
// ends before a separator and, unless lastIsFile, the whole path. Nothing
// before a UNC root ("\\server\share") is a step, nor, in UTF-16, an extended
// path's "\\?\" or what lies before its "\\?\UNC\server\share". Stops at the
// first step that answers false and returns false then.
bool WalkFolderChain(std::string_view path, bool lastIsFile, ChainStepFn step, void *context);
bool WalkFolderChain(std::u16string_view path, bool lastIsFile, ChainStepFn step, void *context);
