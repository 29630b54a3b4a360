// channels.ini, the index of channel folders shared by all installations, read and
// changed through the system's private-profile functions.
#pragma once

#include "channels/cleanup_plan.h"

#include <string>

class ChannelIndexFile : public ChannelIndexView {
public:
    explicit ChannelIndexFile(std::string path) : path_(std::move(path)) {}

    bool Exists() const override;
    // The "location" value of `url`, read into 260 characters.
    std::string Location(const std::string& url) const override;
    // Removes `url` from the "location" section; false when the file cannot be written.
    bool Remove(const std::string& url) const;

private:
    std::string path_;
};
