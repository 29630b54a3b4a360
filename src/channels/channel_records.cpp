#include "channels/channel_records.h"

#include "config/config_document.h"
#include "text/string_ops.h"

std::string NormalizeChannelUrl(std::string url)
{
    TrimRight(url, "\\/");
    return url;
}

std::vector<ChannelRecord> ReadChannelRecords(const char* cfgPath, const char* sectionPath, bool leaveStats,
                                              bool& found)
{
    std::vector<ChannelRecord> records;
    found = false;
    ConfigDocument document;
    if (!cfgPath || !*cfgPath || !document.Load(cfgPath, sectionPath))
        return records;
    const SharedRef<ConfigSection> channels = document.GetSection("Channels");
    if (!channels)
        return records;
    const std::string defaultStats = channels->GetValue("DefaultStatsCacheId", "");
    for (size_t i = 0; i < channels->SectionCount(); ++i) {
        const SharedRef<ConfigSection> channel = channels->SectionAt(i);
        if (!channel)
            continue;
        ChannelRecord record;
        record.url = NormalizeChannelUrl(channel->GetValue("URL", ""));
        // A URL of slashes alone would name the whole Sessions key: no channel.
        if (record.url.empty())
            continue;
        record.section = channel->Name();
        // Booleans are numbers, as every flag of the configuration is: non-zero is true.
        record.uninstall = channel->GetInt("Uninstall", 1) != 0;
        record.external = channel->GetInt("External", 0) != 0;
        if (!leaveStats)
            record.statsCacheId = channel->GetValue("StatsCacheId", defaultStats.c_str());
        records.push_back(record);
    }
    found = !records.empty();
    return records;
}
