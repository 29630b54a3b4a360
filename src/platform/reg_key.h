// The module's one way into the registry: a copyable wrapper that shares an open key
// handle by reference count. Every failing registry call throws; callers that tolerate
// a missing key or value catch CVException around the one call.
#pragma once

#include "platform/exceptions.h"

#include <windows.h>

#include <string>
#include <vector>

class CVRegKey {
public:
    // The result code of a failing registry call, with the system's text for it.
    class CSystemException : public CVSystemException {
    public:
        explicit CSystemException(LONG result);
    };

    // A value read with a getter whose type it does not accept.
    class CInvalidType : public CVException {
    public:
        // `valueName` null stands for the key's default value (an empty name).
        explicit CInvalidType(const char* valueName);
    };

    // Wrappers of the predefined roots the module starts from. They live from module
    // start to module exit; static constructors of other files must not rely on them.
    static const CVRegKey ClassesRoot;
    static const CVRegKey CurrentUser;
    static const CVRegKey LocalMachine;
    static const CVRegKey Users;

    CVRegKey() = default;
    // Takes ownership of `handle` (0 gives an empty wrapper). Predefined roots are
    // never closed, whoever releases them last.
    explicit CVRegKey(HKEY handle);
    CVRegKey(const CVRegKey& other);
    CVRegKey& operator=(const CVRegKey& other);
    ~CVRegKey();

    // Releases what this wrapper held, then owns `handle` with a new count. When the
    // count cannot be allocated, `handle` is closed (a predefined root excepted), the
    // wrapper is left empty and std::bad_alloc is thrown.
    void Attach(HKEY handle);
    // Releases this wrapper's share; the last share closes the key. Leaves it empty.
    void Close();

    HKEY Handle() const { return handle_; }
    bool IsEmpty() const { return handle_ == nullptr; }

    // Opens (or creates and opens) `subKey` below this key. Throws CSystemException;
    // a failure yields no wrapper.
    CVRegKey Open(const char* subKey, REGSAM access) const;
    CVRegKey Create(const char* subKey, REGSAM access) const;

    // Typed writers; a null name is the key's default value. Throw CSystemException.
    void SetString(const char* name, const char* text) const;
    void SetDWord(const char* name, DWORD value) const;
    void SetValue(const char* name, const void* data, DWORD size, DWORD type) const;
    // Throws also when the value does not exist.
    void DeleteValue(const char* name) const;

    // The value's registry type; 0 when the value is missing.
    DWORD GetValueType(const char* name) const;
    // `defaultValue` when the value is missing; CSystemException(13) when it is not
    // a 32-bit number.
    DWORD GetDWord(const char* name, DWORD defaultValue) const;
    // `defaultValue` when the value is missing or stored with no data bytes; throws
    // CInvalidType for any type but a plain string.
    std::string GetString(const char* name, const std::string& defaultValue = std::string()) const;
    // As GetString, also accepting expandable strings; environment references in the
    // text are expanded either way.
    std::string GetExpandString(const char* name, const std::string& defaultValue = std::string()) const;
    // The raw bytes of the value whatever its type; throws when it is missing.
    std::vector<BYTE> GetBinary(const char* name) const;

    // Name of the subkey at `index`; past the last one it throws with code 259.
    std::string EnumSubKey(DWORD index) const;
    DWORD GetSubKeyCount() const;
    DWORD GetValueCount() const;

    // Deletes `subKey` and everything that lives below it.
    void DeleteKey(const char* subKey) const;
    // Deletes `subKey` only when it holds neither subkeys nor values; a key that is
    // not empty is left alone without an error.
    void DeleteKeyIfEmpty(const char* subKey) const;
    // Copies this key's values and subkeys, recursively, below `destination` (or below
    // its `destinationSubKey`, created when missing). `destination` stays the
    // caller's: it is not closed here.
    void CopyTo(HKEY destination, const char* destinationSubKey) const;

private:
    static CVRegKey CreateBelow(HKEY parent, const char* subKey, REGSAM access);
    void ReadStringData(const char* name, std::string& result) const;

    HKEY handle_ = nullptr;
    LONG* sharedCount_ = nullptr;
};
