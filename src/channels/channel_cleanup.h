// Channel and statistics-cache cleanup: decides what no configuration needs any more
// (cleanup_plan.h), then deletes it.
#pragma once

#include "channels/cleanup_options.h"
#include "channels/cleanup_plan.h"

#include <windows.h>

// The product's channel, statistics and data folders on this machine. Looking up the
// statistics folders creates them when missing, as every statistics lookup does.
ChannelFolders SystemChannelFolders();

// Carries out `plan` step by step, logging its lines; deletion results are not
// examined (what cannot be removed stays, or is scheduled at restart).
void CarryOutCleanup(const CleanupPlan& plan);

// The whole cleanup for the channels of `cfgPath` (section filter `sectionPath`) and
// the product folder `productFolderName`, with the uninstaller's `options`. Returns the
// number of channels processed. Never throws.
LONG CleanupChannels(const char* cfgPath, const char* sectionPath, const char* productFolderName,
                     bool removeSections, const ChannelCleanupOptions& options);

// What channel cleanup reads of the process's uninstaller state (its defaults where the
// uninstaller has not run, the export's usual case).
ChannelCleanupOptions CurrentCleanupOptions();
