// The external GoProto component, installed and removed through two entry points of its
// library that are exported by ordinal only.
#pragma once

#include <windows.h>

constexpr WORD kGoProtoInstallOrdinal = 19;    // BOOL WINAPI (DWORD zero, DWORD installArgument)
constexpr WORD kGoProtoUninstallOrdinal = 20;  // BOOL WINAPI (DWORD zero)

// Last errors of a failed entry that mean a restart is needed.
constexpr DWORD kGoProtoRestartCodes[] = {0x8004A025, 0x8004A028, 0x0004A020};

// Results of KSWInstallUninstallGoProto.
constexpr LONG kGoProtoSucceeded = 0;
constexpr LONG kGoProtoRestartNeeded = 3010;
constexpr LONG kGoProtoFailed = 1603;
