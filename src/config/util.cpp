#include "config/util.h"

#include "config/product_locations.h"
#include "frame/log.h"
#include "frame/module.h"
#include "platform/create_folder.h"
#include "platform/delete_tree.h"
#include "platform/paths.h"

#include <vector>

namespace {

constexpr DWORD kRetryDelayMs = 500;

// The module's own locations. The module handle is read on first use: static
// objects are built before the entry point stores it.
ProductLocations& Locations()
{
    static ProductLocations locations(g_hModule);
    return locations;
}

}  // namespace

std::string CUtil::GetCfgPath(bool inDataFolder, HMODULE module) { return Locations().CfgPath(inDataFolder, module); }

std::string CUtil::GetProductUniqueName(const ConfigSection* cfg) { return Locations().ProductUniqueName(cfg); }

void CUtil::EnsureFolderFor(const char* path)
{
    const std::string folder = GetDirectory(path ? path : "");
    if (folder.empty())
        return;
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        CreateFolderTree(folder);
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(folder.c_str(), attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM));
        // A deletion only scheduled for the next restart leaves no room for the folder.
        if (DeleteTree(folder.c_str(), 0, nullptr, nullptr, kRetryDelayMs) == 0)
            CreateFolderTree(folder);
    }
}

void CUtil::SetEnvVar(const char* name, const char* value)
{
    if (!name)
        return;
    if (!SetEnvironmentVariableA(name, value) && value)
        g_Log.Error("CUtil::SetEnvVar(%s, %s) failed. error = %d", name, value, static_cast<int>(GetLastError()));
}

void CUtil::ExpandEnvVars(std::string& text)
{
    const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0)
        return;
    std::vector<char> buffer(static_cast<size_t>(needed) * 2, '\0');
    if (ExpandEnvironmentStringsA(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size())) == 0)
        return;
    text.assign(buffer.data());
}
