// The files and folders that section "Uninstall" lists for removal: each entry's key is
// a path, its value a ";"-separated list of keywords. The plan decides the path and
// what to do with each entry from the configuration alone; RemoveListedEntry acts.
#pragma once

#include "config/config_document.h"

#include <string>
#include <vector>

// Keyword bits of a removal entry (compared ignoring case, never trimmed).
enum RemovalKeyword : unsigned {
    kRemoveShared = 0x01,      // "shared": release one shared-library reference; kept while others remain
    kRemoveRegistered = 0x02,  // "registered": unregister as a COM server before deletion
    kRemoveSystem = 0x04,      // "system": below the system folder; shared entry removed outright
    kRemoveKeep = 0x08,        // "keep": never deleted
    kRemoveSystem64 = 0x10,    // "system64": below the native 64-bit system folder, redirection off
    kRemoveGoProto = 0x20,     // "goproto": uninstalled as a GoProto component first
};

struct RemovalEntry {
    std::string name;  // the entry's key as written
    std::string path;  // where it acts, environment references expanded
    unsigned keywords = 0;
    // A "system64" entry on a system without a 64-bit system folder: nothing is done.
    bool skipped = false;
};

struct RemovalPlan {
    bool hasSection = false;  // without the section, the fourth stage comes at once
    std::vector<RemovalEntry> entries;
    // The index of the entry at which the fourth progress stage is reached.
    size_t StageIndex() const { return entries.size() / 2; }
};

// The keyword bits of one entry's value; unknown words are ignored.
unsigned ParseRemovalKeywords(const std::string& value);

// The path of entry `name` with `keywords`: below `systemFolder` ("system") or
// `system64Folder` ("system64", when not empty), else below `productPath` unless the
// name begins with "\", "%" or a drive; then environment references are expanded.
// Both folders end with a backslash.
std::string RemovalEntryPath(const std::string& name, unsigned keywords, const std::string& productPath,
                             const std::string& systemFolder, const std::string& system64Folder);

// The entries of section "Uninstall" of `cfg` in file order (its sub-sections are not
// entries).
RemovalPlan PlanRemovalEntries(const ConfigDocument& cfg, const std::string& productPath,
                               const std::string& systemFolder, const std::string& system64Folder);
