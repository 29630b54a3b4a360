// The one decision that keeps folder walks inside the tree they were given.
#pragma once

#include <windows.h>

// True for a folder that is a reparse point: a junction, a directory symbolic link or
// a mounted volume. Walks that list, count or delete never enter such a folder, since
// what it points to belongs to somebody else; deleting removes only the link itself.
// False for INVALID_FILE_ATTRIBUTES (nothing there).
constexpr bool IsLinkedFolder(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
