#include "platform/protected_folders.h"

#include "platform/folders.h"
#include "platform/reg_key.h"
#include "platform/user_profiles.h"
#include "text/string_ops.h"

#include <windows.h>

#include <mbstring.h>

namespace {

constexpr char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kProfileListNT[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// The program folders in both views of a 64-bit system; a 32-bit system has the first two.
const char* const kProgramFolderValues[] = {"ProgramFilesDir",       "CommonFilesDir",   "ProgramFilesDir (x86)",
                                            "CommonFilesDir (x86)", "ProgramW6432Dir", "CommonW6432Dir"};
// The 64-bit program folders as a 32-bit process on a 64-bit system is told them; its
// view of the registry may lack them (Wine's does).
const char* const kProgramFolderVariables[] = {"ProgramW6432", "CommonProgramW6432"};
// Where the profile list names the profiles folder and the shared profiles.
// XP names the shared and default profiles by their folder's name below the profiles
// folder, later systems by their full path.
const char* const kProfileListValues[] = {"AllUsersProfile", "DefaultUserProfile", "ProgramData", "Public",
                                          "Default"};
const char* const kUserShellFolders[] = {"AppData", "Local AppData", "Start Menu", "Programs", "Desktop"};
const char* const kCommonShellFolders[] = {"Common AppData", "Common Start Menu", "Common Programs",
                                           "Common Desktop"};

using GetSystemWow64DirectoryFunction = UINT(WINAPI*)(LPSTR, UINT);

class FolderList {
public:
    void Add(std::string folder)
    {
        TrimRight(folder, '\\');
        if (!folder.empty())
            folders_.push_back(folder);
    }
    std::vector<std::string>& Folders() { return folders_; }

private:
    std::vector<std::string> folders_;
};

// A value of `keyPath` below `root`, expanded; empty when it cannot be read.
std::string ReadFolderValue(const CVRegKey& root, const std::string& keyPath, const char* name)
{
    try {
        return root.Open(keyPath.c_str(), KEY_QUERY_VALUE).GetExpandString(name);
    } catch (const CVException&) {
        return std::string();
    }
}

// Absent before Windows XP: looked up by name.
std::string Wow64SystemFolder()
{
    HMODULE kernel = GetModuleHandleA("KERNEL32");
    auto getFolder = kernel ? reinterpret_cast<GetSystemWow64DirectoryFunction>(
                                  reinterpret_cast<void*>(GetProcAddress(kernel, "GetSystemWow64DirectoryA")))
                            : nullptr;
    char buffer[MAX_PATH] = {};
    const UINT length = getFolder ? getFolder(buffer, MAX_PATH) : 0;
    return (length > 0 && length < MAX_PATH) ? std::string(buffer, length) : std::string();
}

// An environment variable's value; empty when it is not set or too long.
std::string EnvironmentFolder(const char* name)
{
    char value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, MAX_PATH);
    return (length > 0 && length < MAX_PATH) ? std::string(value, length) : std::string();
}

// `path` relative to `folder` when it lies strictly below it; empty otherwise.
std::string RelativeBelow(const std::string& path, const std::string& folder)
{
    if (folder.empty() || path.size() <= folder.size() + 1 || path[folder.size()] != '\\')
        return std::string();
    if (_mbsnbicmp(reinterpret_cast<const unsigned char*>(path.c_str()),
                   reinterpret_cast<const unsigned char*>(folder.c_str()), folder.size()) != 0)
        return std::string();
    return path.substr(folder.size() + 1);
}

// The current user's shell folders, and each of them carried over to every profile
// folder: a logged-off user's hive cannot be read, but the layout is the same.
void AddUserShellFolders(FolderList& list, const std::vector<std::string>& profiles,
                         const std::vector<std::string>& names)
{
    for (const char* value : kUserShellFolders) {
        const std::string own = GetUserShellFolder(value, std::string());
        list.Add(own);
        list.Add(GetDefaultUserShellFolder(value, std::string()));
        for (const std::string& name : names)
            list.Add(ReadFolderValue(CVRegKey::Users, name + "\\" + kShellFoldersKey, value));
        for (const std::string& profile : profiles) {
            const std::string relative = RelativeBelow(own, profile);
            if (relative.empty())
                continue;
            for (const std::string& other : profiles)
                list.Add(other + "\\" + relative);
        }
    }
    for (const char* value : kCommonShellFolders)
        list.Add(GetCommonShellFolder(value, std::string()));
}

}  // namespace

std::vector<std::string> ListProtectedFolders()
{
    FolderList list;
    try {
        list.Add(GetWindowsFolder());
        list.Add(GetSystemFolder());
        // With a 32-bit system folder of its own, a 32-bit process reaches the native one
        // through the "sysnative" alias too, whatever its redirection.
        const std::string wow64System = Wow64SystemFolder();
        list.Add(wow64System);
        if (!wow64System.empty())
            list.Add(GetWindowsFolder() + "\\sysnative");
        list.Add(GetProgramFilesFolder());
        for (const char* value : kProgramFolderValues)
            list.Add(ReadFolderValue(CVRegKey::LocalMachine, kCurrentVersionKey, value));
        for (const char* name : kProgramFolderVariables)
            list.Add(EnvironmentFolder(name));
        const std::string profilesFolder = ReadFolderValue(CVRegKey::LocalMachine, kProfileListNT, "ProfilesDirectory");
        list.Add(profilesFolder);
        for (const char* value : kProfileListValues) {
            const std::string folder = ReadFolderValue(CVRegKey::LocalMachine, kProfileListNT, value);
            const bool isName = !folder.empty() && folder.find_first_of("\\:") == std::string::npos;
            list.Add(isName ? (profilesFolder.empty() ? std::string() : profilesFolder + "\\" + folder) : folder);
        }

        std::vector<std::string> profiles;
        std::vector<std::string> names;
        ListProfileFolders(profiles, &names, 0);
        std::vector<std::string> withDefault;
        ListProfileFolders(withDefault, nullptr, PU_INCLUDE_DEFAULT_USER);
        const std::string home = EnvironmentFolder("USERPROFILE");
        if (!home.empty())
            withDefault.push_back(home);
        for (std::string& profile : withDefault) {
            TrimRight(profile, '\\');
            list.Add(profile);
        }
        AddUserShellFolders(list, withDefault, names);
    } catch (...) {
        // Out of memory: what was gathered is still protected.
    }
    return std::move(list.Folders());
}
