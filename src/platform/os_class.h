// Version classes of Windows: one bit per class, combined into the masks that the
// installation script tests the running system against.
#pragma once

#include <windows.h>

enum OsClass : DWORD {
    OS_CLASS_NONE = 0,
    OS_CLASS_WIN32S = 0x000001,
    OS_CLASS_WIN95 = 0x000002,
    OS_CLASS_WIN98 = 0x000004,
    OS_CLASS_WIN98SE = 0x000008,
    OS_CLASS_WINME = 0x000010,
    OS_CLASS_NT3 = 0x010000,
    OS_CLASS_NT4 = 0x020000,
    OS_CLASS_WIN2000 = 0x040000,
    OS_CLASS_WINXP = 0x080000,
    OS_CLASS_WIN2003 = 0x100000,
    OS_CLASS_VISTA_6X = 0x200000,
};

// The class bit of a system that reports these numbers; OS_CLASS_NONE for versions
// no class describes (5.3 and up within 5.x, 7.0 and later, unknown platforms). The
// 95/98/Me classes look at the minor version and the service-pack text only.
DWORD ClassifyOsVersion(DWORD platformId, DWORD major, DWORD minor, const char* servicePack);

// The running system's class, asked of the system afresh (not the module's cached
// record); OS_CLASS_NONE when the version cannot be read.
DWORD QueryOsClass();
