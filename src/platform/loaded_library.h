// A library loaded by name for the life of one scope, for functions that are looked up
// rather than linked (they may be missing on older systems).
#pragma once

#include <windows.h>

class LoadedLibrary {
public:
    explicit LoadedLibrary(const char* fileName) : module_(LoadLibraryA(fileName)) {}
    // Loaded with LoadLibraryExA and `flags` (LOAD_WITH_ALTERED_SEARCH_PATH: the library's
    // own folder is searched first for what it needs). A null name loads nothing.
    LoadedLibrary(const char* fileName, DWORD flags)
        : module_(fileName ? LoadLibraryExA(fileName, nullptr, flags) : nullptr)
    {
    }
    // Frees the library; the thread's last error is kept.
    ~LoadedLibrary()
    {
        if (module_) {
            const DWORD error = GetLastError();
            FreeLibrary(module_);
            SetLastError(error);
        }
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    HMODULE Handle() const { return module_; }
    explicit operator bool() const { return module_ != nullptr; }

    // The named export as a `Function` pointer; null when the library is not loaded (the
    // last error is then the load's) or lacks it (the last error is the lookup's).
    template <typename Function>
    Function Find(const char* name) const
    {
        // Never ask with a null module: that would search the program's own exports.
        if (!module_)
            return nullptr;
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};
