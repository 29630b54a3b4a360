#include "platform/folder_list.h"

#include "frame/exports.h"
#include "platform/linked_folder.h"
#include "platform/paths.h"
#include "platform/scoped_handle.h"

#include <cstring>

namespace {

constexpr char kAllEntries[] = "*.*";

bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

bool EntersFolder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsLinkedFolder(attributes);
}

// `folder` ends with exactly one backslash.
LONG CountMatching(const std::string& folder, bool recurse, const char* pattern)
{
    WIN32_FIND_DATAA entry;
    ScopedFindHandle find(FindFirstFileA((folder + pattern).c_str(), &entry));
    if (!find.IsValid())
        return -1;
    LONG count = 0;
    do {
        if (IsDotEntry(entry.cFileName))
            continue;
        ++count;
        if (recurse && EntersFolder(entry.dwFileAttributes)) {
            const LONG inner = CountMatching(folder + entry.cFileName + "\\", recurse, pattern);
            if (inner > 0)
                count += inner;
        }
    } while (FindNextFileA(find.Get(), &entry));
    return count;
}

}  // namespace

DWORD ListFolder(const std::string& folder, bool recurse, const char* pattern,
                 std::vector<std::string>* outList)
{
    const std::string prefix = folder + "\\";
    if (!pattern || !*pattern)
        pattern = kAllEntries;
    DWORD count = 0;
    WIN32_FIND_DATAA entry;
    ScopedFindHandle find(FindFirstFileA((prefix + pattern).c_str(), &entry));
    if (find.IsValid()) {
        do {
            if (IsDotEntry(entry.cFileName))
                continue;
            ++count;
            const std::string path = prefix + entry.cFileName;
            if (outList)
                outList->push_back(path);
            if (recurse && EntersFolder(entry.dwFileAttributes))
                count += ListFolder(path, recurse, pattern, outList);
        } while (FindNextFileA(find.Get(), &entry));
    }
    find.Close();
    SetLastError(ERROR_SUCCESS);
    return count;
}

LONG CountFolderEntries(const std::string& folder, bool recurse, const char* pattern)
{
    std::string prefix = folder;
    StripTrailingBackslashes(prefix);
    prefix += "\\";
    return CountMatching(prefix, recurse, (pattern && *pattern) ? pattern : kAllEntries);
}

KSINST_EXPORT(LONG) KSWGetDirContent(LPCSTR folder, BOOL recurse, LPCSTR pattern)
{
    // A failure inside counts as a folder that could not be searched.
    try {
        return CountFolderEntries(folder ? folder : "", recurse != FALSE, pattern);
    } catch (...) {
        return -1;
    }
}
