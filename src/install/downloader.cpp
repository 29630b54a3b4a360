#include "install/downloader.h"

#include "config/config_document.h"
#include "frame/exports.h"
#include "frame/log.h"
#include "install/com_registration.h"
#include "install/component_release.h"
#include "install/shared_dlls.h"
#include "platform/delete_tree.h"
#include "platform/file_version.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/reg_key.h"
#include "text/format.h"
#include "text/string_ops.h"

#include <windows.h>

#include <vector>

namespace {

constexpr char kSection[] = "VLDown";
constexpr DWORD kRetryDelayMs = 500;

// The version text of a file; empty when it has none.
std::string VersionOf(const std::string& path)
{
    CFileVersion version;
    return version.Load(path.c_str()) ? version.GetFileVersion() : std::string();
}

// Whether `folder` is `inner` or lies above it.
bool IsSameOrAbove(const std::string& folder, std::string inner)
{
    for (; !inner.empty(); inner = GetDirectory(inner)) {
        if (IsSamePath(folder, inner))
            return true;
    }
    return false;
}

// The counts and the description once the copy is decided. A registry error ends this
// silently; the key is created when missing (a fresh system may not have it yet).
void CountInstalledCopy(const char* cfgPath, bool copied, const std::string& registered,
                        const std::string& destination)
{
    try {
        const CVRegKey key = CVRegKey::LocalMachine.Create(kSharedDllsKey, kSharedDllsInstallAccess);
        DWORD previous = 0;
        if (!registered.empty()) {
            try {
                previous = key.GetDWord(registered.c_str(), 1);
            } catch (const CVException&) {
                previous = 1;
            }
        }
        if (copied) {
            key.SetDWord(destination.c_str(), previous + 1);
            // Only a file is ever taken for the old copy: a registered folder stays.
            if (!registered.empty() && !IsSamePath(registered, destination) && IsExistingFile(registered)) {
                DeleteTree(registered, 0, nullptr, nullptr, kRetryDelayMs);
                key.DeleteValue(registered.c_str());
            }
        } else if (!registered.empty()) {
            key.SetDWord(registered.c_str(), previous + 1);
            // The description names the copy actually in use.
            ConfigDocument description;
            description.Load(cfgPath);
            if (description.SetString(kSection, "Name", GetFileName(registered).c_str()))
                description.Save();
        }
    } catch (const CVException&) {
    }
}

LONG InstallDownloader(const char* cfgPath, const char* sourceFolder)
{
    std::string name, clsid;
    if (!ReadDownloaderInfo(cfgPath, name, clsid))
        return 0;
    bool copy = sourceFolder != nullptr;
    std::string folder = sourceFolder ? sourceFolder : "";
    TrimRight(folder, ' ');
    std::string source;
    FormatString(source, "%s\\%s", folder.c_str(), name.c_str());
    if (!PathExists(source))
        copy = false;

    const std::string registered = GetInprocServerPath(clsid);
    if (copy && !registered.empty()) {
        const std::string delivered = VersionOf(source);
        if (delivered.empty()) {
            copy = false;
        } else {
            // A registered copy without a readable version is replaced.
            const std::string installed = VersionOf(registered);
            if (!installed.empty() && CompareVersions(installed, delivered) >= 0)
                copy = false;
        }
    }

    std::string destination = GetSystemFolder() + "\\" + name;
    bool copied = false;
    if (copy && CopyFileA(source.c_str(), destination.c_str(), FALSE)) {
        copied = true;
        RegisterComServer(destination);
    }
    if (!copied) {
        g_Log.Error("Cannot move %s to %s. Error = %d", source.c_str(), destination.c_str(),
                    static_cast<int>(GetLastError()));
        destination = registered;
    }

    // The folder goes by the name as passed. A root, the Windows or system folder or a
    // relative path passed by mistake is never removed whole (our own safeguard).
    if (sourceFolder && IsRemovableSourceFolder(sourceFolder))
        DeleteTree(sourceFolder, 0, nullptr, nullptr, kRetryDelayMs);
    CountInstalledCopy(cfgPath, copied, registered, destination);
    return 1;
}

LONG UninstallDownloader(const char* cfgPath)
{
    std::string name, clsid;
    if (!ReadDownloaderInfo(cfgPath, name, clsid))
        return 0;
    const std::string path = GetSystemFolder() + "\\" + name;
    if (ReleaseSharedDll(path, false) >= 1)
        return 1;
    const std::string registered = GetInprocServerPath(clsid);
    if (IsSamePath(registered, path))
        UnregisterComServer(registered);
    // A folder of that name is not the downloader: it stays.
    if (!IsExistingFile(path) && PathExists(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return DeleteFolderNow(path.c_str()) ? 1 : 0;
}

}  // namespace

bool ReadDownloaderInfo(const char* cfgPath, std::string& name, std::string& clsid)
{
    name.clear();
    clsid.clear();
    if (!cfgPath || !*cfgPath)
        return false;
    ConfigDocument description;
    description.Load(cfgPath, kSection, LoadMode::ValuesOnly);
    name = description.GetString(kSection, "Name", "");
    clsid = description.GetString(kSection, "CLSID", "");
    const bool plainName = name.find_first_of("\\/:") == std::string::npos && name != "." && name != "..";
    return !name.empty() && !clsid.empty() && plainName;
}

std::string GetInprocServerPath(const std::string& clsid)
{
    try {
        std::string subKey;
        FormatString(subKey, "CLSID\\%s\\InprocServer32", clsid.c_str());
        return CVRegKey::ClassesRoot.Open(subKey.c_str(), KEY_READ).GetString(nullptr);
    } catch (const CVException&) {
        return std::string();
    }
}

int CompareVersions(const std::string& a, const std::string& b)
{
    std::vector<std::string> piecesA, piecesB;
    Split(a, '.', piecesA);
    Split(b, '.', piecesB);
    for (size_t i = 0; i < piecesA.size() && i < piecesB.size(); ++i) {
        const unsigned long numberA = ToULong(piecesA[i].c_str());
        const unsigned long numberB = ToULong(piecesB[i].c_str());
        if (numberA != numberB)
            return numberA < numberB ? -1 : 1;
    }
    if (piecesA.size() != piecesB.size())
        return piecesA.size() < piecesB.size() ? -1 : 1;
    const int order = lstrcmpiA(a.c_str(), b.c_str());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool IsRemovableSourceFolder(const std::string& folder)
{
    std::string path = folder;
    TrimRight(path, ' ');
    StripTrailingBackslashes(path);
    // Only a folder below a drive root ("C:\x") or below a share ("\\server\share\x").
    bool absolute = path.size() > 3 && path[1] == ':' && path[2] == '\\';
    if (path.compare(0, 2, "\\\\") == 0) {
        const size_t server = path.find('\\', 2);
        const size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
        absolute = share != std::string::npos && share + 1 < path.size();
    }
    return absolute && !IsSameOrAbove(path, GetWindowsFolder()) && !IsSameOrAbove(path, GetSystemFolder());
}

KSINST_EXPORT(LONG) KSWInstallDownloader(const char* cfgPath, const char* sourceFolder)
{
    try {
        return InstallDownloader(cfgPath, sourceFolder);
    } catch (...) {
        return 0;
    }
}

KSINST_EXPORT(LONG) KSWUninstallDownloader(const char* cfgPath)
{
    try {
        return UninstallDownloader(cfgPath);
    } catch (...) {
        return 0;
    }
}
