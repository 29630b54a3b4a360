// Folder listing and counting. Neither enters a linked folder (IsLinkedFolder): such
// an entry is listed and counted, what it points to is not.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Counts the entries of `folder` whose names match `pattern` (null or empty: "*.*"),
// with those of matching subfolders when `recurse`. When `outList` is given, appends
// each entry's path (`folder` + "\" + name), a folder before its own entries. A folder
// that cannot be listed counts 0. Sets the last error to 0.
DWORD ListFolder(const std::string& folder, bool recurse, const char* pattern,
                 std::vector<std::string>* outList);

// What KSWGetDirContent answers: the count of `folder`'s entries matching `pattern`
// (null or empty: "*.*"), with those of matching subfolders when `recurse`; -1 when the
// search cannot start (missing folder, or nothing matches). Trailing backslashes of
// `folder` do not matter.
LONG CountFolderEntries(const std::string& folder, bool recurse, const char* pattern);
