#include "peruser/all_users_files.h"

#include "config/param_writer.h"
#include "frame/exports.h"
#include "platform/delete_tree.h"
#include "platform/deletion_guard.h"
#include "platform/paths.h"
#include "platform/user_profiles.h"
#include "text/string_ops.h"

#include <string>
#include <vector>

namespace {

constexpr DWORD kRetryDelayMs = 500;

// Profile folders to work below; a profile without a folder is left out, since a
// relative path below an empty folder would point at the current drive's root.
std::vector<std::string> ProfileFolders(bool includeDefault)
{
    std::vector<std::string> folders;
    ListProfileFolders(folders, nullptr, includeDefault ? PU_INCLUDE_DEFAULT_USER : 0);
    std::vector<std::string> usable;
    for (const std::string& folder : folders) {
        if (!folder.empty())
            usable.push_back(folder);
    }
    return usable;
}

bool HasWildcard(const std::string& name) { return name.find_first_of("?*") != std::string::npos; }

}  // namespace

void DeleteTreeForAllUsers(const char* relativePath, DWORD flags, const char* pattern, const char* stopRelative,
                           DWORD retryDelayMs, bool includeDefault)
{
    const DeletionGuard guard;
    const bool matching = (flags & DT_ONLY_MATCHING) != 0;
    const std::string stop = stopRelative ? stopRelative : "";
    for (const std::string& folder : ProfileFolders(includeDefault)) {
        const GuardedPath target = guard.CheckBelow(folder, relativePath, matching, 0);
        if (target.scope == DeletionScope::Refused)
            continue;
        const std::string stopFolder = folder + "\\" + stop;
        DeleteTree(target.path, FlagsForScope(target.scope, flags), pattern, stopFolder.c_str(), retryDelayMs);
    }
}

void SetConfigValueForAllUsers(const char* relativeFile, const char* section, const char* key, const char* value,
                               bool includeDefault, DWORD mode)
{
    const std::string relative = relativeFile ? relativeFile : "";
    if (relative.empty())
        return;
    for (const std::string& folder : ProfileFolders(includeDefault))
        SetConfigParam((folder + "\\" + relative).c_str(), section, key, value, mode);
}

KSINST_EXPORT(LONG) KSWDelDir(const char* path, LONG allUsers)
{
    try {
        std::string copy = path ? path : "";
        TrimRight(copy, '\\');
        if (copy.empty())
            return 1;
        // A wildcard in the last component makes it the pattern for its folder's files.
        std::string folder = path;
        std::string pattern;
        const std::string last = GetFileName(copy);
        if (HasWildcard(last)) {
            pattern = last;
            folder = GetDirectory(copy);
        }
        const DWORD flags = pattern.empty() ? 0 : DT_ONLY_MATCHING;
        // A refusal of the guard (result 5) is silent here, like every other result.
        if (allUsers == 0)
            DeleteTree(folder.c_str(), flags, pattern.c_str(), nullptr, kRetryDelayMs);
        else
            DeleteTreeForAllUsers(folder.c_str(), flags, pattern.c_str(), nullptr, kRetryDelayMs, true);
    } catch (...) {
    }
    return 1;
}
