#include "uninstall/deletion_refusal.h"

#include "uninstall/protected_paths.h"

namespace {

// "X:\..." or "\\server\share\..."; a leading single backslash names a folder of the
// current drive, which the system's full-path resolution settles like the guard does.
bool IsFullPath(const std::string& path)
{
    if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/'))
        return true;
    return !path.empty() && (path[0] == '\\' || path[0] == '/');
}

}  // namespace

bool IsRefusedDeletion(const std::string& path, const DeletionGuard& guard)
{
    if (IsProtectedPath(path.c_str()) || !IsFullPath(path))
        return true;
    return guard.Check(path.c_str(), false, 0).scope == DeletionScope::Refused;
}
