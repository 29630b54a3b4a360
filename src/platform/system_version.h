// The running system's version, read once and kept for the module's life.
#pragma once

#include <windows.h>

// The cached version record; its major version is 0 while the system could not be
// asked (the next call asks again).
const OSVERSIONINFOEXA& CachedSystemVersion();

// The one test by which the module chooses between the Windows NT family and the
// 95/98/Me family: the platform id is VER_PLATFORM_WIN32_NT.
bool IsWindowsNT();

// Asks the system for its version record, the extended form first and the basic one
// when the extended form is refused. False when both requests fail.
bool QuerySystemVersion(OSVERSIONINFOEXA& version, bool* extendedRefused = nullptr);
