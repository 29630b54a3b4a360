// How long KSRemove::StopClient waits for a stop program.
#pragma once

#include <windows.h>

constexpr DWORD kStopClientWaitMs = 20000;

// The wait StopClient uses: kStopClientWaitMs in the product. Only tests change it, so
// that a program that ignores its stop request does not cost them 20 seconds.
extern DWORD g_StopClientWaitMs;
