#include "platform/user_profiles.h"

#include "platform/reg_key.h"
#include "platform/system_version.h"

namespace {

constexpr char kProfileListNT[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr char kProfileList9x[] = "Software\\Microsoft\\Windows\\CurrentVersion\\ProfileList";
// Profiles of the system's services: a user's settings never belong there.
constexpr DWORD kSkippedProfileFlags = 0x1 | 0x4 | 0x8;

std::string WindowsFolderOrDefault()
{
    char buffer[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
    return (length > 0 && length < MAX_PATH) ? std::string(buffer, length) : std::string("C:\\Windows");
}

}  // namespace

const char* ProfileHiveFileName() { return IsWindowsNT() ? "\\NTUser.dat" : "\\User.dat"; }

std::string DefaultUserProfileFolderNT()
{
    CVRegKey list = CVRegKey::LocalMachine.Open(kProfileListNT, KEY_QUERY_VALUE);
    const std::string profiles = list.GetExpandString("ProfilesDirectory");
    const std::string defaultProfile = list.GetString("DefaultUserProfile");
    // Without a default profile name the join would name the profiles folder itself,
    // which must never be mistaken for a profile.
    if (profiles.empty() || defaultProfile.empty())
        return std::string();
    return profiles + "\\" + defaultProfile;
}

void ListProfileFolders(std::vector<std::string>& outFolders, std::vector<std::string>* outNames, DWORD options)
{
    outFolders.clear();
    const bool nt = IsWindowsNT();
    try {
        CVRegKey list = CVRegKey::LocalMachine.Open(nt ? kProfileListNT : kProfileList9x,
                                                    KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
        const DWORD count = list.GetSubKeyCount();
        for (DWORD index = 0; index < count; ++index) {
            try {
                const std::string name = list.EnumSubKey(index);
                CVRegKey profile = list.Open(name.c_str(), KEY_QUERY_VALUE);
                if (nt && (profile.GetDWord("Flags", 0) & kSkippedProfileFlags))
                    continue;
                outFolders.push_back(profile.GetExpandString("ProfileImagePath"));
                if (outNames)
                    outNames->push_back(name);
            } catch (const CVException&) {
            }
        }
        if (options & PU_INCLUDE_DEFAULT_USER) {
            const std::string folder = nt ? DefaultUserProfileFolderNT() : WindowsFolderOrDefault();
            if (!folder.empty())
                outFolders.push_back(folder);
        }
    } catch (const CVException&) {
    }
}
