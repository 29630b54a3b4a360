// The user's rights and the two narrow changes the module makes to security: granting
// everyone full access to one named object, and enabling one privilege of its own
// process. None of these throws or logs.
#pragma once

#include <windows.h>

// Whether the caller's token holds the built-in group `rid` (544: the local
// Administrators). Always true on the 95/98/Me family, which has no tokens.
bool IsUserInGroup(DWORD rid);

// Replaces the access list of the named object by one entry that gives everyone full
// access, inherited by sub-containers and objects. `objectType` is the system's
// security object type (1 file or folder, 4 registry key, 6 kernel object). False on
// the 95/98/Me family and whenever the list cannot be built or set.
bool GrantEveryoneFullAccess(const char* objectName, DWORD objectType);

// Enables privilege `name` on this process's token. False also when the token does
// not hold the privilege at all.
bool SetPrivilege(const char* name);
