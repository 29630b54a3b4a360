// The rules that locate the product's and the module's configuration files and give
// the product its unique name. Each item is computed on first use and then kept.
#pragma once

#include <windows.h>

#include <string>

class ConfigSection;

class ProductLocations {
public:
    // `self` is the module whose folder holds the product configuration.
    explicit ProductLocations(HMODULE self) : self_(self) {}

    // See CUtil::GetCfgPath.
    std::string CfgPath(bool inDataFolder, HMODULE module);
    // See CUtil::GetProductUniqueName.
    std::string ProductUniqueName(const ConfigSection* cfg);

private:
    std::string ModuleFileName(HMODULE module, bool hostForNull) const;
    std::string DataFolderProductCfg() const;

    HMODULE self_;
    std::string productCfgBesideModule_;
    std::string productCfgInDataFolder_;
    std::string moduleCfgBesideModule_;
    std::string moduleCfgInDataFolder_;
    std::string productUniqueName_;
};
