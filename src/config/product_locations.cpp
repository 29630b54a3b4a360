#include "config/product_locations.h"

#include "config/config_document.h"
#include "config/util.h"
#include "frame/log.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/reg_key.h"
#include "text/format.h"

namespace {

constexpr char kProductCfgBase[] = "KSCommon";
constexpr char kCfgExtension[] = ".cfg";
constexpr char kDataFolderPart[] = "\\Velm\\VLUpdate\\Kestrel";
constexpr char kDefaultProductName[] = "VLAgent";

}  // namespace

// The file name of `module`; for a null module, this module's file (or the host's when
// that fails), or the host's directly with `hostForNull`.
std::string ProductLocations::ModuleFileName(HMODULE module, bool hostForNull) const
{
    char buffer[MAX_PATH] = {};
    DWORD length = 0;
    if (module)
        length = GetModuleFileNameA(module, buffer, MAX_PATH);
    else if (hostForNull || !(length = GetModuleFileNameA(self_, buffer, MAX_PATH)))
        length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return (length > 0 && length < MAX_PATH) ? std::string(buffer, length) : std::string();
}

// {base}\Velm\VLUpdate\Kestrel\{LogDir}\KSCommon.cfg, from the product configuration
// beside the module; empty when that cannot be read or the registry fails.
std::string ProductLocations::DataFolderProductCfg() const
{
    ConfigDocument general;
    if (!general.Load(productCfgBesideModule_.c_str(), "General", LoadMode::ValuesOnly, 0, false))
        return std::string();
    try {
        const bool multiUser = general.GetInt("General", "MultiUser", 1) != 0;
        const std::string base =
            multiUser ? CVRegKey::CurrentUser.Open(kShellFoldersKey, KEY_QUERY_VALUE).GetString("AppData")
                      : CVRegKey::LocalMachine.Open(kShellFoldersKey, KEY_QUERY_VALUE).GetString("Common AppData");
        const std::string logDir = general.GetString("General", "LogDir", "VLAgent");
        std::string path;
        FormatString(path, "%s%s\\%s\\%s%s", base.c_str(), kDataFolderPart, logDir.c_str(), kProductCfgBase,
                     kCfgExtension);
        return path;
    } catch (const CVException&) {
        return std::string();
    }
}

std::string ProductLocations::CfgPath(bool inDataFolder, HMODULE module)
{
    if (productCfgBesideModule_.empty()) {
        FormatString(productCfgBesideModule_, "%s\\%s%s", GetModuleFolder(self_).c_str(), kProductCfgBase,
                     kCfgExtension);
        if (productCfgBesideModule_.empty())
            return std::string();
        CUtil::EnsureFolderFor(productCfgBesideModule_.c_str());
    }

    if (!inDataFolder) {
        if (!module && PathExists(productCfgBesideModule_))
            return productCfgBesideModule_;
        if (moduleCfgBesideModule_.empty()) {
            // Without a name the item stays empty and the next call tries again.
            const std::string name = ModuleFileName(module, false);
            if (!name.empty())
                moduleCfgBesideModule_ = GetDirectory(name) + "\\" + GetFileTitle(name) + kCfgExtension;
        }
        if (module)
            return moduleCfgBesideModule_;
        return PathExists(moduleCfgBesideModule_) ? moduleCfgBesideModule_ : productCfgBesideModule_;
    }

    if (productCfgInDataFolder_.empty()) {
        productCfgInDataFolder_ = DataFolderProductCfg();
        if (!productCfgInDataFolder_.empty())
            CUtil::EnsureFolderFor(productCfgInDataFolder_.c_str());
    }
    if (!module && PathExists(productCfgInDataFolder_))
        return productCfgInDataFolder_;
    if (moduleCfgInDataFolder_.empty()) {
        const std::string name = ModuleFileName(module, true);
        if (name.empty())
            return std::string();
        moduleCfgInDataFolder_ = GetDirectory(productCfgInDataFolder_) + "\\" + GetFileTitle(name) + kCfgExtension;
    }
    if (module)
        return moduleCfgInDataFolder_;
    return PathExists(moduleCfgInDataFolder_) ? moduleCfgInDataFolder_ : productCfgInDataFolder_;
}

std::string ProductLocations::ProductUniqueName(const ConfigSection* cfg)
{
    if (!productUniqueName_.empty())
        return productUniqueName_;
    ConfigDocument loaded;
    if (!cfg) {
        // A failed load is not noticed: it simply yields no name.
        loaded.Load(CfgPath(false, nullptr).c_str(), "General", LoadMode::ValuesOnly, 0, false);
        cfg = &loaded;
    }
    const SharedRef<ConfigSection> general = cfg->GetSection("General");
    productUniqueName_ = general ? general->GetValue("ObjectPrefix", "") : std::string();
    if (productUniqueName_.empty()) {
        g_Log.Warning("CUtil::GetProductUniqueName() - Cannot get product name from the registry");
        productUniqueName_ = kDefaultProductName;
    }
    return productUniqueName_;
}
