#include "uninstall/delete_folder_now.h"

#include "platform/delete_tree.h"

#include <windows.h>

bool DeleteFolderNow(const char* path)
{
    const DWORD result = path ? DeleteTree(path, DT_NO_RESTART, nullptr, nullptr, 0) : ERROR_INVALID_PARAMETER;
    SetLastError(result);
    return result == ERROR_SUCCESS;
}
