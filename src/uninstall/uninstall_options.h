// The uninstaller's process-wide state, the environment variables through which the
// first phase hands its results to the running-temp process, and the reader of those
// variables.
#pragma once

#include "config/config_document.h"

#include <string>

// Hand-over variables, set at the end of the first phase and inherited by the
// running-temp process.
constexpr char kAppNameVariable[] = "KSREMOVE_APPNAME";  // present and not empty: running-temp phase
constexpr char kDelFileVariable[] = "KSREMOVE_DELFILE";  // the installed module file
constexpr char kDelDirVariable[] = "KSREMOVE_DELDIR";    // the product folder, when something was left
constexpr char kRebootVariable[] = "KSREMOVE_REBOOT";    // "1" when a restart is needed, else "0"

// Set from the command line and the environment at entry, read by every uninstaller
// step and by channel cleanup. Everything starts empty or false when the module loads.
struct UninstallOptions {
    bool silent = false;       // "/s", also "/install": no question, dialog or message box
    bool noRestart = false;    // "/nr": nothing scheduled where the caller offers the choice
    bool installMode = false;  // "/install": removal as part of an installation or upgrade
    bool leaveLogs = false;    // "/leavelogs"
    bool oneProcess = false;   // "/oneprocess": both phases in this process, no guard
    bool leaveStats = false;   // "/leavestats"
    bool runningTemp = false;  // this process is the running-temp phase
    std::string cfgPath;       // "/cfg=": the product configuration file
    std::string appName;       // the product's display name, "%1" of every user message
    std::string modulePath;    // this module's file, recorded on the first-phase path only
    std::string errorMessage;  // the user message to show when the uninstaller ends
    ConfigDocument productConfig;

    // Back to the state at load (for a second run in one process, and for tests).
    void Reset() { *this = UninstallOptions(); }
};

extern UninstallOptions g_UninstallOptions;

// Applies the uninstaller's switches among the arguments of `commandLine` (null: the
// process's own command line) to g_UninstallOptions; case is ignored, unknown
// arguments are skipped and a later "/cfg=" replaces an earlier one.
void ParseUninstallSwitches(const char* commandLine);

// The value of environment variable `name`, read only when its size (terminator
// included) is 1 to 32,767 bytes; otherwise, for a null name, a missing or empty
// variable, or a value the system does not give whole, `defaultValue` (empty when null).
std::string GetEnvVar(const char* name, const char* defaultValue);
