// What channel cleanup reads of the uninstaller's state.
#pragma once

#include <string>

// The uninstaller-state fields that channel cleanup reads, passed explicitly so that
// the cleanup does not depend on where that state lives. The defaults are those of a
// process in which the uninstaller has not run (the export's case).
struct ChannelCleanupOptions {
    bool installMode = false;  // "/install": an upgrade; `cfgPath` is the previous configuration
    bool leaveLogs = false;    // "/leavelogs": "*.log" files stay
    bool leaveStats = false;   // "/leavestats": no statistics cache is selected
    bool noRestart = false;    // "/nr": nothing is scheduled for deletion at restart
    std::string cfgPath;       // "/cfg=": the configuration the uninstaller was given
};
