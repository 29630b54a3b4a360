#include "channels/channel_location.h"

#include "platform/paths.h"
#include "text/string_ops.h"

#include <vector>

namespace {

bool IsSafeComponent(const std::string& component)
{
    if (component.find_first_not_of(". ") == std::string::npos)
        return false;  // empty, ".", ".." and what Windows trims to them
    return component.find_first_of(":*?") == std::string::npos;
}

}  // namespace

bool IsContainedName(const std::string& relative)
{
    if (relative.empty() || relative[0] == '\\' || relative[0] == '/')
        return false;
    std::vector<std::string> parts;
    Split(relative, '\\', parts);
    for (const std::string& part : parts) {
        // Windows takes "/" for a separator as well.
        std::vector<std::string> pieces;
        Split(part, '/', pieces);
        for (const std::string& piece : pieces) {
            if (!IsSafeComponent(piece))
                return false;
        }
    }
    return true;
}

ChannelLocation JudgeLocation(const std::string& value)
{
    ChannelLocation location;
    if (value.empty())
        return location;
    std::string relative = value;
    const bool absolute = relative.size() >= 2 && relative[1] == ':';
    // "D:\Data\news\" names the folder news as much as "D:\Data\news" does.
    TrimRight(relative, "\\/");
    if (absolute)
        relative = GetFileName(relative);
    if (IsContainedName(relative)) {
        location.verdict = LocationVerdict::Usable;
        location.relative = relative;
    } else {
        location.verdict = LocationVerdict::Refused;
    }
    return location;
}
