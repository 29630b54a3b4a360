// The statistics writer behind KSWSetStatParamString.
#pragma once

#include <windows.h>

// Target modes: the current user's vluser.cfg, the common one, every profile's.
constexpr DWORD kStatsCurrentUser = 0;
constexpr DWORD kStatsCommon = 1;
constexpr DWORD kStatsAllUsers = 2;

// Sets or deletes (null key or value: the section or the key; null section: the file)
// in the statistics file of `mode`, deleting a file left empty. Modes 0 and 1 give the
// writer's result; mode 2 gives 1 once applied to every profile (the default user's
// included), 0 when the current user's file has no profile-relative form; another mode
// gives 0 and touches nothing.
DWORD SetStatParam(const char* section, const char* key, const char* value, DWORD mode);
