// The configuration parameter writer: sets or deletes one value, a section or a whole
// configuration file, rewriting the file in the writer's layout. Nothing here logs.
#pragma once

#include <windows.h>

// After a deletion, delete the file instead of saving it when nothing is left at its
// top level.
constexpr DWORD kDeleteEmptyFile = 1;

// section, key, value given: set the value (creating the file, its folder and the
// sections as needed); value null: delete every entry with the key from the section;
// key null: delete every section with the path's last name from its parent; section
// null: delete the file. Returns 1 on success, 0 on failure; deleting what is not
// there (missing file or section) succeeds. Options other than kDeleteEmptyFile
// are ignored.
LONG SetConfigParam(const char* cfgPath, const char* section, const char* key, const char* value, DWORD options);
