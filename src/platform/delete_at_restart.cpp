#include "platform/delete_at_restart.h"

#include "platform/folder_list.h"
#include "platform/linked_folder.h"
#include "platform/paths.h"
#include "platform/system_version.h"

#include <windows.h>

#include <cstring>
#include <vector>

bool RestartNeeded = false;

namespace {

constexpr char kWininitFile[] = "WININIT.INI";
constexpr char kRenameSection[] = "rename";
// What the private-profile functions move at most in one section.
constexpr DWORD kSectionBuffer = 32767;
constexpr size_t kSectionLimit = 32765;

// The attributes SetFileAttributes accepts; the others describe the entry's kind.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool ScheduleInPendingRenames(const std::string& path, DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLinkedFolder(attributes)) {
        std::vector<std::string> entries;
        ListFolder(path, false, "*.*", &entries);
        for (std::string& entry : entries) {
            StripTrailingBackslashes(entry);
            if (!DeleteAtRestart(entry))
                return false;
        }
    }
    // The restart deletion leaves read-only entries in place.
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        DWORD cleared = attributes & kSettableAttributes & ~FILE_ATTRIBUTE_READONLY;
        if (!SetFileAttributesA(path.c_str(), cleared ? cleared : FILE_ATTRIBUTE_NORMAL))
            return false;
    }
    return MoveFileExA(path.c_str(), nullptr, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

bool ScheduleInWininit(const std::string& path, DWORD attributes)
{
    const std::string line =
        std::string((attributes & FILE_ATTRIBUTE_DIRECTORY) ? "DIRNUL" : "NUL") + "=" + GetShortPath(path, "");
    // The section comes back as "key=value" texts, each zero-terminated, with one more
    // zero at the end; the new line goes where that last zero stands.
    std::vector<char> section(kSectionBuffer, '\0');
    const DWORD length = GetPrivateProfileSectionA(kRenameSection, section.data(), kSectionBuffer, kWininitFile);
    if (length + line.size() + 1 >= kSectionLimit) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    memcpy(section.data() + length, line.c_str(), line.size() + 1);
    return WritePrivateProfileSectionA(kRenameSection, section.data(), kWininitFile) != FALSE;
}

}  // namespace

bool DeleteAtRestart(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    const bool scheduled =
        IsWindowsNT() ? ScheduleInPendingRenames(path, attributes) : ScheduleInWininit(path, attributes);
    if (!scheduled)
        return false;
    RestartNeeded = true;
    SetLastError(ERROR_SUCCESS);
    return true;
}
