// The installer guard: a named event shared with the product's other programs. Whoever
// created it holds the guard while the handle stays open; its state tells the others
// what kind of program holds it (signalled: an installer, not signalled: an uninstaller).
#pragma once

#include <windows.h>

#include <string>

// The event's name without the session prefix.
constexpr char kInstallerEventName[] = "Velm:VLAgent:InstallerEvent";

// The guard is held elsewhere by a program that left the event not signalled.
const HANDLE kGuardHeldNotSignalled = INVALID_HANDLE_VALUE;

// The event's name for a system with this version record: "Global\" in front on the
// NT family from major version 5 on (where sessions separate named objects).
std::string InstallerEventName(const OSVERSIONINFOEXA& version);

// Creates the guard event (manual reset, signalled). Returns the new handle when no
// other program held it (the caller closes it to give the guard up); null when it
// existed signalled or could not be created, or the system version cannot be read;
// kGuardHeldNotSignalled when it existed not signalled. Never waits.
HANDLE TakeInstallerGuard();
