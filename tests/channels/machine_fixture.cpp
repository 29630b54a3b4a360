#include "machine_fixture.h"

#include "platform/reg_key.h"
#include "support/restart_lists.h"

#include <shlwapi.h>

namespace kstest {

namespace {

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kDefaultProfileName[] = "kstest_chdefault";
constexpr char kHiveSource[] = "Software\\KSInstTest\\ChannelHive";

}  // namespace

MachineFixture::MachineFixture()
    : userAppData(GetStringValue(HKEY_CURRENT_USER, kShellFolders, "AppData")),
      commonAppData(GetStringValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData")),
      appDataName(userAppData.substr(userAppData.rfind('\\') + 1)),
      scratch("C:\\kstest\\" + ExeTitle() + "\\machine"),
      defaultFolder(GetStringValue(HKEY_LOCAL_MACHINE, ProfileListKey(), "ProfilesDirectory", "C:\\users") + "\\" +
                     kDefaultProfileName)
{
    const std::string userProfile = Environment("USERPROFILE");
    // Profile-relative paths are relative to the application-data folder's parent and
    // land in "<profile>\<its name>" for the current user too.
    allowed_ = {commonAppData + "\\Velm", commonAppData + "\\vluser.cfg",
                userProfile + "\\" + appDataName + "\\Velm", userAppData + "\\Velm",
                userAppData + "\\vluser.cfg", scratch, defaultFolder};
    for (const std::string& path : allowed_)
        Remove(path);

    // The current user comes first in the profile list; Wine lists no other.
    profiles.push_back(userProfile);
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(HKEY_USERS, i, name, sizeof(name)) == ERROR_SUCCESS; ++i) {
        if (std::string(name).compare(0, 15, "S-1-5-21-0-0-0-") == 0)
            loadedSids.push_back(name);
    }
    profiles.push_back(AddProfile(kLoggedOnSid, false, false));
    profiles.push_back(AddProfile(kPreloadedSid, true, true));
    profiles.push_back(AddProfile(kLoggedOffSid, true, false));

    SaveHive(kHiveSource, defaultFolder + "\\NTUser.dat");
    SetStringValue(HKEY_LOCAL_MACHINE, ProfileListKey(), "DefaultUserProfile", kDefaultProfileName);
    profiles.push_back(defaultFolder);
}

MachineFixture::~MachineFixture()
{
    RegUnLoadKeyA(HKEY_USERS, kPreloadedSid);
    RegUnLoadKeyA(HKEY_USERS, "KSWiseDefaultUser");
    for (const char* sid : {kLoggedOnSid, kPreloadedSid, kLoggedOffSid})
        RemoveProfileEntry(sid);
    for (const std::string& sid : loadedSids)
        SHDeleteKeyA(HKEY_USERS, (sid + "\\Software\\Velm").c_str());
    DeleteValue(HKEY_LOCAL_MACHINE, ProfileListKey(), "DefaultUserProfile");
    PendingDeletionsBelow(commonAppData + "\\Velm", true);
    PendingDeletionsBelow(scratch, true);
    SHDeleteKeyA(HKEY_CURRENT_USER, kHiveSource);
    for (const std::string& path : allowed_)
        Remove(path);
}

std::string MachineFixture::AddProfile(const char* sid, bool withHive, bool preload)
{
    const std::string folder = scratch + "\\" + sid;
    MakeFile(folder + "\\placeholder.txt");
    if (withHive)
        SaveHive(kHiveSource, folder + "\\NTUser.dat");
    AddProfileEntry(sid, folder);
    if (preload)
        LoadHive(sid, folder + "\\NTUser.dat");
    else if (!withHive)
        CVRegKey::Users.Create(sid, KEY_READ);
    if (preload || !withHive)
        loadedSids.push_back(sid);
    return folder;
}

void MachineFixture::Remove(const std::string& path) const
{
    // Only a known place or something below it, and never a drive or a bare name.
    for (const std::string& root : allowed_)
        RemoveTreeWithin(path, root);
}

}  // namespace kstest
