// System functions the module binds on first use instead of listing them in its import
// table, so that it loads on Windows 95 and NT 4.0. A call of a function the running
// system lacks fails with the value given here (last error ERROR_PROC_NOT_FOUND).
//
// ADVAPI32: every registry and security function. Windows 95 lacks most of the security
// functions (the module calls them on the NT family only). A function missing from this
// list is a link error ("__imp__Name@N"): add it here, never link ADVAPI32.
#include "platform/late_binding.h"

#include <aclapi.h>
#include <shlobj.h>

namespace {
constexpr char kAdvapi[] = "ADVAPI32.DLL";
constexpr char kKernel[] = "KERNEL32.DLL";
constexpr char kShell[] = "SHELL32.DLL";
}  // namespace

KS_BIND_LATE(kAdvapi, RegCloseKey, 4, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, RegCreateKeyExA, 36, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, RegDeleteKeyA, 8, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, RegDeleteValueA, 8, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, RegEnumKeyExA, 32, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, RegEnumValueA, 32, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, RegLoadKeyA, 12, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, RegOpenKeyExA, 20, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, RegQueryInfoKeyA, 48, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, RegQueryValueExA, 24, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, RegSetValueExA, 24, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, RegUnLoadKeyA, 8, ERROR_PROC_NOT_FOUND)

KS_BIND_LATE(kAdvapi, AdjustTokenPrivileges, 24, FALSE)
KS_BIND_LATE(kAdvapi, AllocateAndInitializeSid, 44, FALSE)
KS_BIND_LATE(kAdvapi, EqualSid, 8, FALSE)
// Frees nothing when missing; it is only reached with a SID that
// AllocateAndInitializeSid made, which is then there too.
KS_BIND_LATE(kAdvapi, FreeSid, 4, nullptr)
KS_BIND_LATE(kAdvapi, GetTokenInformation, 20, FALSE)
KS_BIND_LATE(kAdvapi, LookupPrivilegeValueA, 12, FALSE)
KS_BIND_LATE(kAdvapi, OpenProcessToken, 12, FALSE)
KS_BIND_LATE(kAdvapi, OpenThreadToken, 16, FALSE)
KS_BIND_LATE(kAdvapi, SetEntriesInAclW, 16, ERROR_PROC_NOT_FOUND)
KS_BIND_LATE(kAdvapi, SetNamedSecurityInfoA, 28, ERROR_PROC_NOT_FOUND)

// SHELL32: the special-folder call came with a later shell (4.71) than the first ones of
// Windows 95 and NT 4.0; its callers have a fall-back for a failure.
KS_BIND_LATE(kShell, SHGetSpecialFolderPathA, 16, FALSE)

// KERNEL32: the wide-character functions the compiler's runtime calls (thread locks,
// exception-frame registration). Windows 95 has most of them only as stubs that fail;
// bound here, they never decide whether the module loads, and fail as those stubs do.
KS_BIND_LATE(kKernel, CreateSemaphoreW, 16, nullptr)
// Delete-at-restart by rename is an NT call (the 95/98/Me family uses WININIT.INI),
// documented as unsupported on Windows 95.
KS_BIND_LATE(kKernel, MoveFileExA, 12, FALSE)
KS_BIND_LATE(kKernel, GetModuleHandleW, 4, nullptr)
KS_BIND_LATE(kKernel, LoadLibraryW, 4, nullptr)
// The uninstaller's check that a double-byte variable came back whole; a failure means
// "nothing to compare with".
KS_BIND_LATE(kKernel, GetEnvironmentVariableW, 12, 0)
