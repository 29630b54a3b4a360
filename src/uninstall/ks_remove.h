// The product's uninstaller. Its state is the process-wide uninstaller state (the
// options, the product configuration, the module path and the pending message); the
// phases read and write it there, so the class only groups them.
#pragma once

#include <windows.h>

class KSRemove {
public:
    // Chooses the course (running-temp phase, two-phase first process, or both phases
    // in this process) and runs it. 0, or the Win32 number of the first failure:
    // 2, 126, 183, 1011, 1067, 1223, 1313, 1420, 3010.
    static DWORD Uninstall(const char* commandLine);

    // Copies the installed module to a "KSR*.tmp" file in the temporary folder and
    // starts it through the same host with `commandLine`. 0 when the process was
    // started, else 1067 (logged).
    static DWORD SwitchToRunningTemp(const char* commandLine);

    // Stops the product's programs and removes its registrations, shortcuts, channels
    // and files, then sets the hand-over variables. 0 when it ran to its end, else the
    // early-stop code (nothing removed then).
    static DWORD UninstallFirstPhase();

    // Deletes the installed module and what is left of the product folder, scheduling
    // what is in use for the next restart, and shows the finish message or the restart
    // question. 0, or 3010 when a restart is still needed.
    static DWORD UninstallRunningTemp();

    // Runs one product program with `arguments` so that it stops, waiting a bounded
    // time; with `deleteAfter`, deletes the program file afterwards. True when the
    // program ran and ended within the wait.
    static bool StopClient(const char* program, const char* arguments, bool deleteAfter);
};
