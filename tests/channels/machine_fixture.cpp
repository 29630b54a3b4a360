#include "machine_fixture.h"

#include "platform/security.h"
#include "support/restart_lists.h"
#include "support/test_env.h"

#include <shlwapi.h>

namespace kstest {

namespace {

constexpr char kProfileList[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void MakeHive(const std::string& path)
{
    SetPrivilege("SeBackupPrivilege");
    SetPrivilege("SeRestorePrivilege");
    HKEY source = nullptr;
    RegCreateKeyA(HKEY_CURRENT_USER, "Software\\KSInstTest\\ChannelHive", &source);
    DeleteFileA(path.c_str());
    RegSaveKeyA(source, path.c_str(), nullptr);
    RegCloseKey(source);
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\KSInstTest\\ChannelHive");
}

}  // namespace

MachineFixture::MachineFixture()
    : userAppData_(GetStringValue(HKEY_CURRENT_USER, kShellFolders, "AppData")),
      commonAppData_(GetStringValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData")),
      scratch_("C:\\kstest\\" + ExeTitle() + "\\machine")
{
    const std::string profilesFolder = GetStringValue(HKEY_LOCAL_MACHINE, kProfileList, "ProfilesDirectory");
    defaultFolder_ = (profilesFolder.empty() ? std::string("C:\\users") : profilesFolder) + "\\" + kDefaultProfileName;
    const std::string userProfile = Environment("USERPROFILE");
    appDataName_ = userAppData_.substr(userAppData_.rfind('\\') + 1);
    // Profile-relative paths are relative to the application-data folder's parent and
    // land in "<profile>\<its name>" for the current user too.
    allowed_ = {commonAppData_ + "\\Velm", commonAppData_ + "\\vluser.cfg",
                userProfile + "\\" + appDataName_ + "\\Velm", userAppData_ + "\\Velm",
                userAppData_ + "\\vluser.cfg", scratch_, defaultFolder_};
    CleanData();
    Remove(scratch_);

    // The current user comes first in the profile list; Wine lists no other.
    profiles_.push_back(userProfile);
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(HKEY_USERS, i, name, &length, nullptr, nullptr, nullptr, nullptr) != 0)
            break;
        if (std::string(name).compare(0, 15, "S-1-5-21-0-0-0-") == 0)
            loadedSids_.push_back(name);
    }
    profiles_.push_back(AddProfile(kLoggedOnSid, false, false));
    profiles_.push_back(AddProfile(kPreloadedSid, true, true));
    profiles_.push_back(AddProfile(kLoggedOffSid, true, false));

    CreateDirectoryA(defaultFolder_.c_str(), nullptr);
    MakeHive(defaultFolder_ + "\\NTUser.dat");
    SetStringValue(HKEY_LOCAL_MACHINE, kProfileList, "DefaultUserProfile", kDefaultProfileName);
    profiles_.push_back(defaultFolder_);
}

MachineFixture::~MachineFixture()
{
    RegUnLoadKeyA(HKEY_USERS, kPreloadedSid);
    RegUnLoadKeyA(HKEY_USERS, "KSWiseDefaultUser");
    for (const std::string& sid : added_) {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kProfileList) + "\\" + sid).c_str());
        SHDeleteKeyA(HKEY_USERS, sid.c_str());
    }
    for (const std::string& sid : loadedSids_)
        SHDeleteKeyA(HKEY_USERS, (sid + "\\Software\\Velm").c_str());
    SHDeleteValueA(HKEY_LOCAL_MACHINE, kProfileList, "DefaultUserProfile");
    PendingDeletionsBelow(commonAppData_ + "\\Velm", true);
    PendingDeletionsBelow(scratch_, true);
    CleanData();
    Remove(scratch_);
    Remove(defaultFolder_);
}

std::string MachineFixture::AddProfile(const char* sid, bool withHive, bool preload)
{
    const std::string folder = scratch_ + "\\" + sid;
    MakeFile(folder + "\\placeholder.txt");
    if (withHive)
        MakeHive(folder + "\\NTUser.dat");
    const std::string key = std::string(kProfileList) + "\\" + sid;
    SetStringValue(HKEY_LOCAL_MACHINE, key, "ProfileImagePath", folder.c_str());
    added_.push_back(sid);
    if (preload) {
        RegLoadKeyA(HKEY_USERS, sid, (folder + "\\NTUser.dat").c_str());
        loadedSids_.push_back(sid);
    } else if (!withHive) {
        HKEY user = nullptr;
        RegCreateKeyA(HKEY_USERS, sid, &user);
        RegCloseKey(user);
        loadedSids_.push_back(sid);
    }
    return folder;
}

void MachineFixture::CleanData() const
{
    for (const std::string& path : allowed_) {
        if (path != scratch_ && path != defaultFolder_)
            Remove(path);
    }
}

void MachineFixture::Remove(const std::string& path) const
{
    // Only a known place or something below it, and never a drive or a bare name.
    for (const std::string& root : allowed_)
        RemoveTreeWithin(path, root);
}

}  // namespace kstest
