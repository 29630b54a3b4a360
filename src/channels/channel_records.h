// The channel subsections of a product configuration file.
#pragma once

#include <string>
#include <vector>

struct ChannelRecord {
    std::string url;           // trailing "\" and "/" removed; the record's identity
    std::string section;       // the subsection's own name
    std::string statsCacheId;  // empty when statistics are left in place
    bool external = false;
    bool uninstall = true;
};

// A channel that this product may remove: one it uninstalls and does not share.
inline bool IsRemovable(const ChannelRecord& record) { return record.uninstall && !record.external; }

// `url` without its trailing run of "\" and "/".
std::string NormalizeChannelUrl(std::string url);

// The records of the subsections of "Channels" in `cfgPath`, loaded with the section
// filter `sectionPath`, in file order. A subsection without URL is skipped; with
// `leaveStats` no cache identifier is read. Sets `found` to whether any record was
// built; a file that cannot be loaded or has no "Channels" gives none.
std::vector<ChannelRecord> ReadChannelRecords(const char* cfgPath, const char* sectionPath, bool leaveStats,
                                              bool& found);
