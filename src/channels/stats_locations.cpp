#include "channels/stats_locations.h"

#include "platform/create_folder.h"
#include "platform/folders.h"
#include "platform/paths.h"

#include <windows.h>

namespace {

constexpr char kMakerFolder[] = "Velm";
constexpr char kStatsFolder[] = "vlny";
constexpr char kStatsFileName[] = "vluser.cfg";

}  // namespace

std::string AppDataFolder(bool common)
{
    const std::string fallback = GetWindowsFolder() + "\\Application Data";
    std::string folder = common ? GetCommonShellFolder("Common AppData", fallback)
                                : GetUserShellFolder("AppData", fallback);
    StripTrailingBackslashes(folder);
    return folder;
}

std::string StatsFolder(bool common)
{
    const std::string appData = AppDataFolder(common);
    const std::string folder = appData + "\\" + kMakerFolder + "\\" + kStatsFolder;
    if (IsExistingFolder(folder) || CreateFolderTree(folder))
        return folder;
    return appData;
}

std::string StatsFile(bool common) { return StatsFolder(common) + "\\" + kStatsFileName; }

bool IsOwnStatsFolder(const std::string& folder)
{
    const std::string tail = std::string("\\") + kMakerFolder + "\\" + kStatsFolder;
    return folder.size() > tail.size() &&
           lstrcmpiA(folder.c_str() + folder.size() - tail.size(), tail.c_str()) == 0;
}

std::string MakeProfileRelative(const std::string& path)
{
    std::string appData = AppDataFolder(false);
    StripTrailingBackslashes(appData);
    const std::string profile = GetDirectory(appData);
    if (profile.empty())
        return std::string();
    std::string current = path;
    StripTrailingBackslashes(current);
    while (!current.empty() && !IsSamePath(profile, current)) {
        current = GetDirectory(current);
        StripTrailingBackslashes(current);
    }
    // The climb compares short and long forms; the cut takes length(F) + 1 characters
    // of `path` as written.
    if (current.empty() || path.size() <= profile.size() + 1)
        return std::string();
    return path.substr(profile.size() + 1);
}
