// The first half of channel cleanup's plan: which channels, statistics caches and
// configuration sections go, decided from the channel records alone.
#pragma once

#include "channels/channel_records.h"
#include "frame/log.h"

#include <map>
#include <set>
#include <string>
#include <vector>

struct PlannedLogLine {
    LogLevel level;
    std::string text;
};

struct ChannelSelection {
    std::vector<std::string> removals;            // channel URLs, in order; looked up without case
    std::set<std::string> statsCaches;            // byte-wise order
    std::map<std::string, std::string> sections;  // URL (byte-wise) -> section name
    std::vector<PlannedLogLine> log;              // the decisions, in the order they were made
};

// Plain removal (`installMode` false): every removable channel of `current` goes, with
// its section and its statistics cache unless a later kept channel shares the cache.
// Upgrade: the removable channels of `previous` go unless `current` lists them again
// (URLs compared without case), and so do their caches and sections.
ChannelSelection SelectChannels(const std::vector<ChannelRecord>& previous,
                                const std::vector<ChannelRecord>& current, bool installMode);
