#include "channels/stat_params.h"

#include "channels/stats_locations.h"
#include "config/param_writer.h"
#include "frame/exports.h"
#include "peruser/all_users_files.h"

#include <string>

DWORD SetStatParam(const char* section, const char* key, const char* value, DWORD mode)
{
    switch (mode) {
    case kStatsCurrentUser:
    case kStatsCommon:
        return static_cast<DWORD>(
            SetConfigParam(StatsFile(mode == kStatsCommon).c_str(), section, key, value, kDeleteEmptyFile));
    case kStatsAllUsers: {
        const std::string relative = MakeProfileRelative(StatsFile(false));
        if (relative.empty())
            return 0;
        SetConfigValueForAllUsers(relative.c_str(), section, key, value, true, kDeleteEmptyFile);
        return 1;
    }
    default:
        return 0;
    }
}

KSINST_EXPORT(DWORD) KSWSetStatParamString(const char* section, const char* key, const char* value, DWORD mode)
{
    try {
        return SetStatParam(section, key, value, mode);
    } catch (...) {
        return 0;
    }
}
