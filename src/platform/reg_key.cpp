#include "platform/reg_key.h"

#include "platform/loaded_library.h"
#include "text/format.h"

namespace {

// HKEY_CLASSES_ROOT .. HKEY_DYN_DATA: handles the system owns, which a wrapper never closes.
bool IsPredefinedRoot(HKEY handle)
{
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(handle);
    return value >= 0x80000000UL && value <= 0x80000006UL;
}

// Query, set, create subkey, enumerate, notify, delete and read-control: enough to
// empty a key and delete it, or to copy into it.
constexpr REGSAM kTreeAccess = 0x3001F;
// Query values and enumerate subkeys.
constexpr REGSAM kInspectAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
constexpr DWORD kSubKeyNameLength = 260;

void ThrowOnFailure(LONG result)
{
    if (result != ERROR_SUCCESS)
        throw CVRegKey::CSystemException(result);
}

using SHCopyKeyProc = LONG(WINAPI*)(HKEY source, LPCSTR sourceSubKey, HKEY destination, DWORD reserved);

}  // namespace

CVRegKey::CSystemException::CSystemException(LONG result) : CVSystemException(static_cast<DWORD>(result)) {}

CVRegKey::CInvalidType::CInvalidType(const char* valueName)
{
    FormatString(message, "Attempt to treat registry value \"%s\" with invalid type", valueName ? valueName : "");
}

const CVRegKey CVRegKey::ClassesRoot(HKEY_CLASSES_ROOT);
const CVRegKey CVRegKey::CurrentUser(HKEY_CURRENT_USER);
const CVRegKey CVRegKey::LocalMachine(HKEY_LOCAL_MACHINE);
const CVRegKey CVRegKey::Users(HKEY_USERS);

CVRegKey::CVRegKey(HKEY handle) { Attach(handle); }

CVRegKey::CVRegKey(const CVRegKey& other) : handle_(other.handle_), sharedCount_(other.sharedCount_)
{
    if (sharedCount_)
        InterlockedIncrement(sharedCount_);
}

CVRegKey& CVRegKey::operator=(const CVRegKey& other)
{
    if (this == &other)
        return *this;
    Close();
    handle_ = other.handle_;
    sharedCount_ = other.sharedCount_;
    if (sharedCount_)
        InterlockedIncrement(sharedCount_);
    return *this;
}

CVRegKey::~CVRegKey() { Close(); }

void CVRegKey::Attach(HKEY handle)
{
    Close();
    if (!handle)
        return;
    // The handle has no other owner: a failed allocation of its count closes it.
    try {
        sharedCount_ = new LONG(0);
    } catch (...) {
        if (!IsPredefinedRoot(handle))
            RegCloseKey(handle);
        throw;
    }
    handle_ = handle;
    InterlockedIncrement(sharedCount_);
}

void CVRegKey::Close()
{
    if (handle_ && sharedCount_ && InterlockedDecrement(sharedCount_) == 0) {
        if (!IsPredefinedRoot(handle_))
            RegCloseKey(handle_);
        delete sharedCount_;
    }
    handle_ = nullptr;
    sharedCount_ = nullptr;
}

CVRegKey CVRegKey::Open(const char* subKey, REGSAM access) const
{
    HKEY opened = nullptr;
    ThrowOnFailure(RegOpenKeyExA(handle_, subKey, 0, access, &opened));
    return CVRegKey(opened);
}

CVRegKey CVRegKey::CreateBelow(HKEY parent, const char* subKey, REGSAM access)
{
    HKEY created = nullptr;
    ThrowOnFailure(RegCreateKeyExA(parent, subKey, 0, nullptr, 0, access, nullptr, &created, nullptr));
    return CVRegKey(created);
}

CVRegKey CVRegKey::Create(const char* subKey, REGSAM access) const { return CreateBelow(handle_, subKey, access); }

void CVRegKey::SetString(const char* name, const char* text) const
{
    const char* data = text ? text : "";
    SetValue(name, data, static_cast<DWORD>(lstrlenA(data) + 1), REG_SZ);
}

void CVRegKey::SetDWord(const char* name, DWORD value) const { SetValue(name, &value, sizeof(value), REG_DWORD); }

void CVRegKey::SetValue(const char* name, const void* data, DWORD size, DWORD type) const
{
    ThrowOnFailure(RegSetValueExA(handle_, name, 0, type, static_cast<const BYTE*>(data), size));
}

void CVRegKey::DeleteValue(const char* name) const { ThrowOnFailure(RegDeleteValueA(handle_, name)); }

DWORD CVRegKey::GetValueType(const char* name) const
{
    DWORD type = 0;
    const LONG result = RegQueryValueExA(handle_, name, nullptr, &type, nullptr, nullptr);
    if (result == ERROR_FILE_NOT_FOUND)
        return 0;
    ThrowOnFailure(result);
    return type;
}

DWORD CVRegKey::GetDWord(const char* name, DWORD defaultValue) const
{
    const DWORD type = GetValueType(name);
    if (type != 0 && type != REG_DWORD)
        throw CSystemException(ERROR_INVALID_DATA);
    DWORD value = defaultValue;
    if (type == REG_DWORD) {
        DWORD size = sizeof(value);
        ThrowOnFailure(RegQueryValueExA(handle_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size));
    }
    return value;
}

// Reads a string value whose type was checked. A value stored with no data bytes leaves
// `result` as it was; data stored without a terminator still reads as a whole text.
void CVRegKey::ReadStringData(const char* name, std::string& result) const
{
    DWORD size = 0;
    ThrowOnFailure(RegQueryValueExA(handle_, name, nullptr, nullptr, nullptr, &size));
    if (size == 0)
        return;
    std::vector<char> buffer(size + 1, '\0');
    ThrowOnFailure(RegQueryValueExA(handle_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size));
    result = buffer.data();
}

std::string CVRegKey::GetString(const char* name, const std::string& defaultValue) const
{
    const DWORD type = GetValueType(name);
    if (type != 0 && type != REG_SZ)
        throw CInvalidType(name);
    std::string result = defaultValue;
    if (type == REG_SZ)
        ReadStringData(name, result);
    return result;
}

std::string CVRegKey::GetExpandString(const char* name, const std::string& defaultValue) const
{
    std::string result = defaultValue;
    if (GetValueType(name) == REG_EXPAND_SZ)
        ReadStringData(name, result);
    else
        result = GetString(name, defaultValue);
    if (result.empty())
        return result;
    const DWORD needed = ExpandEnvironmentStringsA(result.c_str(), nullptr, 0);
    if (needed == 0)
        return result;
    // Twice the reported size: on double-byte code pages some systems count the size
    // in characters, not bytes.
    std::vector<char> expanded(needed * 2, '\0');
    if (ExpandEnvironmentStringsA(result.c_str(), expanded.data(), static_cast<DWORD>(expanded.size())) == 0)
        throw CSystemException(static_cast<LONG>(GetLastError()));
    return std::string(expanded.data());
}

std::vector<BYTE> CVRegKey::GetBinary(const char* name) const
{
    DWORD size = 0;
    ThrowOnFailure(RegQueryValueExA(handle_, name, nullptr, nullptr, nullptr, &size));
    std::vector<BYTE> data(size);
    ThrowOnFailure(RegQueryValueExA(handle_, name, nullptr, nullptr, size ? data.data() : nullptr, &size));
    data.resize(size);
    return data;
}

std::string CVRegKey::EnumSubKey(DWORD index) const
{
    char name[kSubKeyNameLength] = {};
    DWORD length = kSubKeyNameLength;
    ThrowOnFailure(RegEnumKeyExA(handle_, index, name, &length, nullptr, nullptr, nullptr, nullptr));
    return std::string(name, length);
}

DWORD CVRegKey::GetSubKeyCount() const
{
    DWORD count = 0;
    ThrowOnFailure(RegQueryInfoKeyA(handle_, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr));
    return count;
}

DWORD CVRegKey::GetValueCount() const
{
    DWORD count = 0;
    ThrowOnFailure(RegQueryInfoKeyA(handle_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                                    nullptr, nullptr, nullptr));
    return count;
}

void CVRegKey::DeleteKey(const char* subKey) const
{
    CVRegKey child = Open(subKey, kTreeAccess);
    // Highest index first, so deleting a subkey never shifts the ones still to come.
    for (DWORD index = child.GetSubKeyCount(); index > 0; --index)
        child.DeleteKey(child.EnumSubKey(index - 1).c_str());
    child.Close();
    ThrowOnFailure(RegDeleteKeyA(handle_, subKey));
}

void CVRegKey::DeleteKeyIfEmpty(const char* subKey) const
{
    CVRegKey child = Open(subKey, kInspectAccess);
    const bool empty = child.GetSubKeyCount() == 0 && child.GetValueCount() == 0;
    child.Close();
    if (empty)
        ThrowOnFailure(RegDeleteKeyA(handle_, subKey));
}

void CVRegKey::CopyTo(HKEY destination, const char* destinationSubKey) const
{
    HKEY target = destination;
    CVRegKey created;
    if (destinationSubKey && *destinationSubKey) {
        created = CreateBelow(destination, destinationSubKey, kTreeAccess);
        target = created.Handle();
    }
    // The copy function is looked up by name: older shells do not export it.
    LONG result = ERROR_SUCCESS;
    {
        LoadedLibrary shlwapi("shlwapi.dll");
        auto copyKey = shlwapi.Find<SHCopyKeyProc>("SHCopyKeyA");
        result = copyKey ? copyKey(handle_, nullptr, target, 0) : static_cast<LONG>(GetLastError());
    }
    ThrowOnFailure(result);
}
