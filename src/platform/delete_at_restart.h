// Deletion at the next restart, through the system's pending rename list (Windows NT
// family) or the "rename" section of WININIT.INI (Windows 95/98/Me).
#pragma once

#include <string>

// Set by every successful DeleteAtRestart (and by the uninstaller when a component it
// removes asks for a restart); never cleared while the module is loaded.
extern bool RestartNeeded;

// Schedules `path` (file or folder) for deletion at the next restart. On the NT family
// a folder's entries are scheduled first, then the folder, each cleared of read-only;
// a linked folder is scheduled as the link alone. On 95/98/Me one "NUL=" or "DIRNUL="
// line with the short path is appended; false with last error 122 when the section
// would outgrow 32 KB. False when `path` does not exist. On success sets
// RestartNeeded and the last error 0.
bool DeleteAtRestart(const std::string& path);
