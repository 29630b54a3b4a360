#include "channels/channel_index.h"

#include "platform/paths.h"

#include <windows.h>

namespace {

constexpr char kLocationSection[] = "location";

}  // namespace

bool ChannelIndexFile::Exists() const { return IsExistingFile(path_); }

std::string ChannelIndexFile::Location(const std::string& url) const
{
    char buffer[MAX_PATH] = {};
    GetPrivateProfileStringA(kLocationSection, url.c_str(), "", buffer, MAX_PATH, path_.c_str());
    return buffer;
}

bool ChannelIndexFile::Remove(const std::string& url) const
{
    return WritePrivateProfileStringA(kLocationSection, url.c_str(), nullptr, path_.c_str()) != FALSE;
}
