#include "platform/security.h"

#include "frame/exports.h"
#include "platform/scoped_handle.h"
#include "platform/system_version.h"

#include <aclapi.h>

#include <vector>

namespace {

class SidHolder {
public:
    SidHolder() = default;
    ~SidHolder()
    {
        if (sid_)
            FreeSid(sid_);
    }
    SidHolder(const SidHolder&) = delete;
    SidHolder& operator=(const SidHolder&) = delete;

    PSID* Receive() { return &sid_; }
    PSID Get() const { return sid_; }

private:
    PSID sid_ = nullptr;
};

// Generic all plus every standard right.
constexpr DWORD kFullAccess = 0x101F0000;

// The caller's token: the thread's when it impersonates, else the process's.
bool OpenCallerToken(ScopedHandle& token)
{
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive()))
        return true;
    if (GetLastError() != ERROR_NO_TOKEN)
        return false;
    return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) != FALSE;
}

}  // namespace

bool IsUserInGroup(DWORD rid)
{
    if (!IsWindowsNT())
        return true;
    std::vector<BYTE> groupData;
    {
        ScopedHandle token;
        if (!OpenCallerToken(token))
            return false;
        DWORD size = 0;
        if (GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &size) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        groupData.resize(size);
        if (!GetTokenInformation(token.Get(), TokenGroups, groupData.data(), size, &size))
            return false;
    }
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    SidHolder wanted;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0,
                                  wanted.Receive()))
        return false;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(groupData.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (EqualSid(groups->Groups[i].Sid, wanted.Get()))
            return true;
    }
    return false;
}

bool GrantEveryoneFullAccess(const char* objectName, DWORD objectType)
{
    if (!IsWindowsNT() || !objectName)
        return false;
    EXPLICIT_ACCESS_W access = {};
    access.grfAccessPermissions = kFullAccess;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    access.Trustee.ptstrName = const_cast<LPWSTR>(L"EVERYONE");
    PACL acl = nullptr;
    if (SetEntriesInAclW(1, &access, nullptr, &acl) != ERROR_SUCCESS)
        return false;
    const DWORD result = SetNamedSecurityInfoA(const_cast<LPSTR>(objectName), static_cast<SE_OBJECT_TYPE>(objectType),
                                               DACL_SECURITY_INFORMATION, nullptr, nullptr, acl, nullptr);
    LocalFree(acl);
    return result == ERROR_SUCCESS;
}

bool SetPrivilege(const char* name)
{
    ScopedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Receive()))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid))
        return false;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // The call succeeds even when the token lacks the privilege; only the last error
    // (ERROR_NOT_ALL_ASSIGNED) tells.
    const BOOL adjusted = AdjustTokenPrivileges(token.Get(), FALSE, &privileges, sizeof(privileges), nullptr, nullptr);
    return adjusted && GetLastError() == ERROR_SUCCESS;
}

KSINST_EXPORT(int) KSWSetFreeAccess(const char* objectName, DWORD objectType)
{
    try {
        return GrantEveryoneFullAccess(objectName, objectType) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
