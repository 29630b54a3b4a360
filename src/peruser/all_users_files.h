// The file-side operations applied below every user's profile folder.
#pragma once

#include <windows.h>

// DeleteTree of "<profile>\<relativePath>" for every profile folder (and the default
// user's with `includeDefault`), stopping emptied-parent removal at
// "<profile>\<stopRelative>". Results are not collected. Each path passes the
// DeletionGuard below its own profile folder: one that leaves the profile, or names the
// profile folder itself for more than its matching files, is skipped.
void DeleteTreeForAllUsers(const char* relativePath, DWORD flags, const char* pattern, const char* stopRelative,
                           DWORD retryDelayMs, bool includeDefault);

// The configuration writer on "<profile>\<relativeFile>" for every profile folder.
void SetConfigValueForAllUsers(const char* relativeFile, const char* section, const char* key, const char* value,
                               bool includeDefault, DWORD mode);
