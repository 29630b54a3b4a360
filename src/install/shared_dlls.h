// The system's shared-library reference counts: one 32-bit value per shared file, named
// by the file's full path, holding how many installations use it.
#pragma once

#include <windows.h>

constexpr char kSharedDllsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
// The install side reads and writes (and creates the key); the release side queries
// and sets.
constexpr REGSAM kSharedDllsInstallAccess = 0x2001F;
constexpr REGSAM kSharedDllsReleaseAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;
