// Channel cleanup as a plan: every deletion, section removal and log line in the order
// it is carried out, computed before anything is touched (cleanup_run.h carries it out).
#pragma once

#include "channels/cleanup_options.h"
#include "channels/cleanup_selection.h"

#include <windows.h>

#include <string>
#include <vector>

// Where the product's shared and per-user data lie. Per-user paths are profile-relative.
struct ChannelFolders {
    std::string commonAppData;  // the common application-data folder
    std::string appDataName;    // the last component of the current user's application-data folder
    std::string commonRoot;     // <common application data>\Velm\VLUpdate\Kestrel
    std::string userRoot;       // <appDataName>\Velm\VLUpdate\Kestrel
    std::string commonStats;    // the common statistics folder
    std::string userStats;      // the current user's statistics folder, profile-relative (may be empty)
};

// What the channel index (channels.ini) says, as the planner reads it.
class ChannelIndexView {
public:
    virtual ~ChannelIndexView() = default;
    virtual bool Exists() const = 0;
    // The "location" of `url`; empty when there is none.
    virtual std::string Location(const std::string& url) const = 0;
};

enum class StepKind {
    Log,                    // text at level
    DeleteTree,             // path, flags, pattern, stop (absolute), retryDelayMs
    DeleteTreeForAllUsers,  // the same with profile-relative path and stop; default user included
    DeleteSection,          // section `name` from the profile-relative file `path`, default user excluded
    DeleteSessionKey,       // key `path` below every user's root, default user excluded
    RemoveIndexEntry,       // key `name` of section "location" of the index file `path`
    DeleteStats,            // section `name` of vluser.cfg, statistics mode `mode`
    RemoveFolderIfOnly,     // folder `path` when empty or holding only the file `name`; else log text
};

struct CleanupStep {
    StepKind kind = StepKind::Log;
    std::string path;
    std::string name;
    std::string pattern;  // empty: none
    std::string stop;     // empty: none
    // For a channel's folder or trigger: the folder (profile-relative for the per-user
    // kind) that `path` lies in and must not leave through a folder link.
    std::string within;
    DWORD flags = 0;
    DWORD retryDelayMs = 500;
    DWORD mode = 0;
    LogLevel level = LogLevel::Info;
    std::string text;
};

struct CleanupPlan {
    std::vector<CleanupStep> steps;
    LONG channelCount = 0;  // the cleanup's result
};

// The whole cleanup for `selection`: section removal when `removeSections` or in
// install mode, then channel folders, product files, statistics caches and data
// folders. A "location" that would leave the channels or triggers folder is logged at
// WARNING and nothing of it is planned; so is nothing below the product folders when
// `productFolderName` is empty or leaves its parent.
CleanupPlan PlanCleanup(const ChannelSelection& selection, const ChannelFolders& folders,
                        const ChannelIndexView& index, const char* sectionPath, const char* productFolderName,
                        bool removeSections, const ChannelCleanupOptions& options);
