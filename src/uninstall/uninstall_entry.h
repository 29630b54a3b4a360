// The uninstaller's entry: the command line that ExUninstall completes, the entry that
// parses it and shows the pending message, and the guard against a concurrent
// installer or uninstaller.
#pragma once

#include <windows.h>

#include <string>

// `commandLine` (null counts as empty) with one space and the quoted switch
// "/cfg=<moduleFolder>\KSCommon.cfg" appended, unless it already holds "/cfg="
// (compared case-sensitively).
std::string CompleteUninstallCommandLine(const char* commandLine, const std::string& moduleFolder);

// Runs the uninstaller for `commandLine` with `module` as the module whose file and
// resources it uses: parses the switches, chooses the course (KSRemove::Uninstall) and,
// unless silent, shows the pending message. Returns KSRemove::Uninstall's result.
DWORD UninstallMain(HINSTANCE module, int reserved, const char* commandLine, int showCommand);

// The module handle UninstallMain stored; null before its first call.
HMODULE UninstallModule();

// True when another installer or uninstaller holds the installer guard: the pending
// message is then string 9 (an installer) or 10 (an uninstaller) and `event` is null.
// Otherwise false with the guard's new handle in `event`; the caller closes it.
bool CheckOtherInstallers(HANDLE* event);
