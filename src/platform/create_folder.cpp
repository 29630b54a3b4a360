#include "platform/create_folder.h"

#include "text/string_ops.h"

#include <windows.h>

bool CreateFolderTree(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    const std::string text = path + "\\";
    bool created = false;
    for (size_t slash = Find(text, '\\'); slash != npos; slash = Find(text, '\\', slash + 1)) {
        const std::string prefix = text.substr(0, slash);
        if (GetFileAttributesA(prefix.c_str()) != INVALID_FILE_ATTRIBUTES)
            continue;
        created = CreateDirectoryA(prefix.c_str(), nullptr) != FALSE;
    }
    if (created)
        SetLastError(ERROR_SUCCESS);
    return created;
}
