#include "platform/delete_tree.h"

#include "platform/delete_at_restart.h"
#include "platform/deletion_guard.h"
#include "platform/linked_folder.h"
#include "platform/paths.h"
#include "platform/scoped_handle.h"
#include "text/wildcard.h"

#include <cstring>

namespace {

struct TreeRequest {
    DWORD flags;
    const char* pattern;
    const char* stopFolder;  // resolved by the guard's rules
    DWORD retryDelayMs;
    const DeletionGuard* guard;
};

constexpr DWORD kGuardedFlags = DT_ONLY_IF_EMPTY | DT_SKIP_SUBFOLDERS | DT_ONLY_MATCHING;

bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

// `path` is resolved, so the climb never reaches a bare "X:" (the drive's current
// folder); it ends at the first protected folder whatever the stop folder says.
void RemoveEmptyParents(const std::string& path, const TreeRequest& request)
{
    for (std::string parent = GetDirectory(path); !parent.empty();) {
        if (PathEquals(parent, request.stopFolder) || request.guard->IsProtected(parent))
            break;
        if (GetFileAttributesA(parent.c_str()) != INVALID_FILE_ATTRIBUTES && !RemoveDirectoryA(parent.c_str()))
            break;
        parent = GetDirectory(parent);
        StripTrailingBackslashes(parent);
    }
}

DWORD Done(const std::string& path, const TreeRequest& request)
{
    if ((request.flags & DT_REMOVE_EMPTY_PARENTS) && !(request.flags & DT_INNER))
        RemoveEmptyParents(path, request);
    return ERROR_SUCCESS;
}

// A linked folder given with flags that judge its content: the content belongs to the
// link's target and is never deleted, so it is judged as it shows and stays. Returns
// the result, or ERROR_MORE_DATA when the link itself may go.
DWORD JudgeLinkedFolder(const std::string& path, const TreeRequest& request)
{
    const DWORD flags = request.flags;
    if ((flags & DT_ONLY_MATCHING) && (!request.pattern || !*request.pattern))
        return ERROR_INVALID_PARAMETER;
    WIN32_FIND_DATAA entry;
    ScopedFindHandle find(FindFirstFileA((path + "\\*.*").c_str(), &entry));
    if (!find.IsValid())
        return ERROR_INVALID_HANDLE;
    bool showsEntries = false;
    do {
        showsEntries = showsEntries || !IsDotEntry(entry.cFileName);
    } while (!showsEntries && FindNextFileA(find.Get(), &entry));
    if (showsEntries && (flags & DT_ONLY_IF_EMPTY))
        return ERROR_DIR_NOT_EMPTY;
    if (showsEntries || (flags & DT_ONLY_MATCHING))
        return (flags & DT_INNER) ? ERROR_CURRENT_DIRECTORY : ERROR_SUCCESS;
    return ERROR_MORE_DATA;
}

bool RemoveEntry(const std::string& path, bool isFolder)
{
    if (isFolder ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str()))
        return true;
    return GetLastError() == ERROR_FILE_NOT_FOUND;
}

// `attributes` are those the caller just read for `path` (INVALID_FILE_ATTRIBUTES:
// nothing there), so the walk reads each entry's attributes once, from its listing.
DWORD DeleteEntry(const std::string& path, DWORD attributes, const TreeRequest& request)
{
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Done(path, request);
    const DWORD flags = request.flags;
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = IsLinkedFolder(attributes);
    bool mayDeleteNow = true;

    if (isLink && (flags & kGuardedFlags)) {
        const DWORD judged = JudgeLinkedFolder(path, request);
        if (judged != ERROR_MORE_DATA)
            return judged;
    }
    if (isFolder && !isLink) {
        if ((flags & DT_ONLY_MATCHING) && (!request.pattern || !*request.pattern))
            return ERROR_INVALID_PARAMETER;
        // Files that do not match the pattern stay, and the folder with them.
        bool somethingLeft = (flags & DT_ONLY_MATCHING) != 0;
        // The pattern chooses only the top folder's files: every subfolder goes whole.
        const TreeRequest inner = {(flags & ~DT_ONLY_MATCHING) | DT_INNER, request.pattern, request.stopFolder,
                                   request.retryDelayMs, request.guard};
        const std::string prefix = path + "\\";
        WIN32_FIND_DATAA entry;
        ScopedFindHandle find(FindFirstFileA((prefix + "*.*").c_str(), &entry));
        if (!find.IsValid())
            return ERROR_INVALID_HANDLE;
        do {
            if (IsDotEntry(entry.cFileName))
                continue;
            if (flags & DT_ONLY_IF_EMPTY)
                return ERROR_DIR_NOT_EMPTY;
            const bool entryIsFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (entryIsFolder && (flags & DT_SKIP_SUBFOLDERS)) {
                somethingLeft = true;
                continue;
            }
            if ((flags & DT_ONLY_MATCHING) && !entryIsFolder && !WildcardMatch(entry.cFileName, request.pattern))
                continue;
            switch (DeleteEntry(prefix + entry.cFileName, entry.dwFileAttributes, inner)) {
            case ERROR_CURRENT_DIRECTORY:
                somethingLeft = true;
                break;
            case ERROR_SHARING_VIOLATION:
            case ERROR_SUCCESS_REBOOT_REQUIRED:
                mayDeleteNow = false;
                break;
            default:
                break;
            }
        } while (FindNextFileA(find.Get(), &entry));
        find.Close();
        if (somethingLeft)
            return (flags & DT_INNER) ? ERROR_CURRENT_DIRECTORY : ERROR_SUCCESS;
    }

    // A link's attributes may be resolved through the link by the system, and what it
    // points to must stay as it is: the link is removed as it stands.
    if (!isLink && !SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE))
        return Done(path, request);
    if (mayDeleteNow) {
        if (RemoveEntry(path, isFolder))
            return Done(path, request);
        if (request.retryDelayMs != 0) {
            Sleep(request.retryDelayMs);
            if (RemoveEntry(path, isFolder))
                return Done(path, request);
        }
    }
    if (!(flags & DT_NO_RESTART)) {
        if (DeleteAtRestart(path))
            return ERROR_SUCCESS_REBOOT_REQUIRED;
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            return Done(path, request);
    }
    return ERROR_SHARING_VIOLATION;
}

}  // namespace

DWORD FlagsForScope(DeletionScope scope, DWORD flags)
{
    // DT_ONLY_MATCHING alone would still empty and remove every subfolder.
    return scope == DeletionScope::MatchingFiles ? (flags | DT_SKIP_SUBFOLDERS) & ~DT_REMOVE_EMPTY_PARENTS : flags;
}

DWORD DeleteTree(const std::string& path, DWORD flags, const char* pattern, const char* stopFolder,
                 DWORD retryDelayMs)
{
    const DeletionGuard guard;
    const GuardedPath target = guard.Check(path.c_str(), (flags & DT_ONLY_MATCHING) != 0, 0);
    if (target.scope == DeletionScope::Refused)
        return ERROR_ACCESS_DENIED;
    flags = FlagsForScope(target.scope, flags);
    std::string stop;
    if (stopFolder && !DeletionGuard::Resolve(stopFolder, 0, stop))
        stop = stopFolder;
    const TreeRequest request = {flags, pattern, stopFolder ? stop.c_str() : nullptr, retryDelayMs, &guard};
    return DeleteEntry(target.path, GetFileAttributesA(target.path.c_str()), request);
}

bool DeleteFolderNow(const char* path)
{
    const DWORD result = path ? DeleteTree(path, DT_NO_RESTART, nullptr, nullptr, 0) : ERROR_INVALID_PARAMETER;
    SetLastError(result);
    return result == ERROR_SUCCESS;
}
