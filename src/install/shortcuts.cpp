#include "install/shortcuts.h"

#include "config/config_document.h"
#include "config/util.h"
#include "frame/exports.h"
#include "frame/log.h"
#include "frame/module.h"
#include "install/com_objects.h"
#include "platform/create_folder.h"
#include "platform/paths.h"
#include "text/format.h"

#include <windows.h>

#include <shlobj.h>

namespace {

constexpr char kGeneral[] = "General";
constexpr char kUninstallSection[] = "Uninstall";
constexpr char kProductCfgBase[] = "KSCommon";
constexpr char kCfgExtension[] = ".cfg";
constexpr int kLinkPathLength = 260;

// Lists the shortcut in the product configuration of the installation folder, so that
// the uninstaller removes it. Only an existing configuration is changed.
void RecordForUninstall(const std::string& installFolder, const std::string& linkPath, const std::string& name)
{
    std::string cfgPath;
    FormatString(cfgPath, "%s\\%s%s", installFolder.c_str(), kProductCfgBase, kCfgExtension);
    ConfigDocument product;
    if (product.Load(cfgPath.c_str()) && product.SetString(kUninstallSection, linkPath.c_str(), "") &&
        product.Save())
        g_Log.Info("Added %s to Uninstall section", name.c_str());
}

}  // namespace

std::string CompleteProductPath(const std::string& path, const std::string& installFolder)
{
    const bool drive = path.size() >= 2 && path[1] == ':';
    const bool unc = path.compare(0, 2, "\\\\") == 0;
    return (drive || unc) ? path : installFolder + "\\" + path;
}

bool ReadShortcut(const ConfigDocument& cfg, const ConfigSection& description, const char* namePrefix,
                  bool useEnglishNames, Shortcut& shortcut)
{
    const std::string& id = description.Name();
    const std::string defaultName = std::string(namePrefix ? namePrefix : "") + " " + id;
    shortcut.name = description.GetValue(useEnglishNames ? "EnName" : "Name", defaultName.c_str());
    const std::string generalModule = cfg.GetString(kGeneral, ("Module" + id).c_str(), "");
    shortcut.module = description.GetValue("Module", generalModule.c_str());
    // The icon defaults to the target as written, before it is expanded and completed.
    shortcut.iconFile = description.GetValue("ModuleIcon", shortcut.module.c_str());
    shortcut.iconIndex = description.GetInt("IndexIcon", 0);
    shortcut.arguments = description.GetValue("Param", "");
    if (shortcut.module.empty() || shortcut.name.empty())
        return false;

    CUtil::ExpandEnvVars(shortcut.module);
    CUtil::ExpandEnvVars(shortcut.iconFile);
    CUtil::ExpandEnvVars(shortcut.arguments);
    const std::string installFolder = cfg.GetString(kGeneral, "Path", "");
    shortcut.module = CompleteProductPath(shortcut.module, installFolder);
    shortcut.iconFile = CompleteProductPath(shortcut.iconFile, installFolder);
    return true;
}

bool SaveShellLink(const Shortcut& shortcut, const std::string& linkPath)
{
    ComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Receive())))
        return false;
    // A target that does not exist (yet) is accepted: SetPath then reports S_FALSE.
    if (FAILED(link->SetIconLocation(shortcut.iconFile.c_str(), shortcut.iconIndex)) ||
        FAILED(link->SetPath(shortcut.module.c_str())) ||
        FAILED(link->SetWorkingDirectory(GetDirectory(shortcut.module).c_str())) ||
        FAILED(link->SetArguments(shortcut.arguments.c_str())))
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Receive())))
        return false;
    WCHAR widePath[kLinkPathLength] = {};
    if (MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, widePath, kLinkPathLength) == 0)
        return false;
    return SUCCEEDED(file->Save(widePath, TRUE));
}

long CreateShortcuts(const char* namePrefix, const char* section, const char* folder, bool useEnglishNames,
                     bool recordForUninstall)
{
    ConfigDocument cfg;
    if (!cfg.Load(CUtil::GetCfgPath(false, g_hModule).c_str()))
        return 0;
    const SharedRef<ConfigSection> descriptions = cfg.GetSection(section);
    if (!descriptions)
        return 0;

    std::string target = folder ? folder : "";
    CUtil::ExpandEnvVars(target);
    StripTrailingBackslashes(target);
    // No folder would put the shortcuts at the root of the current drive.
    if (target.empty())
        return 0;
    if (GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES && !CreateFolderTree(target))
        return 0;

    ComApartment com;
    if (!com.Ready())
        return 0;
    const std::string installFolder = cfg.GetString(kGeneral, "Path", "");
    for (size_t i = 0; i < descriptions->SectionCount(); ++i) {
        Shortcut shortcut;
        if (!ReadShortcut(cfg, *descriptions->SectionAt(i), namePrefix, useEnglishNames, shortcut))
            continue;
        const std::string linkPath = target + "\\" + shortcut.name + ".lnk";
        if (!SaveShellLink(shortcut, linkPath)) {
            g_Log.Error("Failed to create shortcut %s", shortcut.name.c_str());
            continue;
        }
        if (recordForUninstall)
            RecordForUninstall(installFolder, linkPath, shortcut.name);
    }
    return 1;
}

KSINST_EXPORT(LONG) KSWCreateShortcuts(const char* namePrefix, const char* section, const char* folder,
                                       LONG useEnglishNames, LONG recordForUninstall)
{
    try {
        return CreateShortcuts(namePrefix, section, folder, useEnglishNames != 0, recordForUninstall != 0);
    } catch (...) {
        return 0;
    }
}
