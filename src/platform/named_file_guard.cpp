#include "platform/named_file_guard.h"

#include "platform/deletion_guard.h"
#include "platform/paths.h"

bool MayDeleteNamedFile(const std::string& path, std::string& resolved)
{
    const DeletionGuard guard;
    const GuardedPath judged = guard.Check(path.c_str(), false, 0);
    if (judged.scope != DeletionScope::Whole)
        return false;
    // "C:\x.dll" gives the bare drive "C:", which the guard protects as well.
    const std::string folder = GetDirectory(judged.path);
    if (folder.empty() || guard.IsProtected(folder))
        return false;
    resolved = judged.path;
    return true;
}
