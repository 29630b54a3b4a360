// Running a program hidden, with a bounded wait for its end.
#pragma once

#include <windows.h>

#include <string>

// How long RunProcess waits for the program to end.
constexpr DWORD kRunProcessWaitMs = 20000;

// Starts `program` hidden with `arguments` (null: none), in the caller's folder and
// environment, with `creationFlags`; when the system cannot create the process, the
// shell's extended execute is asked instead (which may show its own error box). True
// with the program's exit code in `exitCode` when it ended within kRunProcessWaitMs;
// false when it could not be started or is still running (it is left running).
bool RunProcess(const std::string& program, const char* arguments, DWORD creationFlags, DWORD& exitCode);

// RunProcess with a wait of `waitMs` instead of kRunProcessWaitMs.
bool RunProcessWithWait(const std::string& program, const char* arguments, DWORD creationFlags, DWORD& exitCode,
                        DWORD waitMs);
