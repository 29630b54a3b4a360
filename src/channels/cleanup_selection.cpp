#include "channels/cleanup_selection.h"

#include "text/format.h"

#include <windows.h>

namespace {

void Note(ChannelSelection& selection, const char* format, const std::string& insert)
{
    std::string text;
    FormatString(text, format, insert.c_str());
    selection.log.push_back({LogLevel::Info, text});
}

// Upgrade, first pass: what the previous configuration would remove.
void SelectPrevious(ChannelSelection& selection, const std::vector<ChannelRecord>& previous)
{
    for (const ChannelRecord& record : previous) {
        if (!IsRemovable(record))
            continue;
        selection.removals.push_back(record.url);
        Note(selection, "Content of old channel %s might be deleted", record.url);
        if (!record.statsCacheId.empty()) {
            selection.statsCaches.insert(record.statsCacheId);
            Note(selection, "Stats cache ID %s might be deleted", record.statsCacheId);
        }
        selection.sections.insert({record.url, record.section});
        Note(selection, "Channel section %s might be deleted", record.section);
    }
}

// Upgrade, second pass: what the new configuration still lists is kept.
void KeepCurrent(ChannelSelection& selection, const ChannelRecord& record)
{
    for (auto it = selection.removals.begin(); it != selection.removals.end(); ++it) {
        if (lstrcmpiA(it->c_str(), record.url.c_str()) != 0)
            continue;
        selection.removals.erase(it);
        Note(selection, "Content of old channel %s will not be deleted", record.url);
        if (!record.statsCacheId.empty()) {
            selection.statsCaches.erase(record.statsCacheId);
            Note(selection, "Stats cache ID %s will not be deleted", record.statsCacheId);
        }
        break;
    }
    // The section goes by the same comparison as the content: a channel the new
    // configuration lists again in another letter case keeps its section too.
    for (auto it = selection.sections.begin(); it != selection.sections.end();) {
        if (lstrcmpiA(it->first.c_str(), record.url.c_str()) != 0) {
            ++it;
            continue;
        }
        Note(selection, "Channel section %s will not be deleted", it->second);
        it = selection.sections.erase(it);
    }
}

}  // namespace

ChannelSelection SelectChannels(const std::vector<ChannelRecord>& previous,
                                const std::vector<ChannelRecord>& current, bool installMode)
{
    ChannelSelection selection;
    if (installMode)
        SelectPrevious(selection, previous);
    for (const ChannelRecord& record : current) {
        if (installMode) {
            KeepCurrent(selection, record);
        } else if (IsRemovable(record)) {
            selection.removals.push_back(record.url);
            selection.statsCaches.insert(record.statsCacheId);
            selection.sections.insert({record.url, record.section});
            Note(selection, "Channel section %s will be deleted", record.section);
        } else {
            // Only a cache that an earlier channel selected is affected.
            selection.statsCaches.erase(record.statsCacheId);
        }
    }
    return selection;
}
