// Running a command line for the installation script, with or without waiting.
#pragma once

#include <windows.h>

// Expands the environment references of `commandLine` and starts it (no console window
// on the NT family). Waiting, the result is the program's exit code; otherwise the
// thread's last error right after the start (0 after a clean start). A program that
// cannot start gives its system error (0xFFFFFFFF when the system names none). Every
// outcome is logged.
DWORD RunCommand(const char* commandLine, bool wait);
