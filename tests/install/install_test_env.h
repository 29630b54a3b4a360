// What the install tests share: the module loaded with a log of every level, the
// registry values they arrange and read, and the system's pending operations.
#pragma once

#include "support/test_env.h"

#include <windows.h>

#include <string>
#include <vector>

namespace kstest {

// KSInst.dll loaded with its log in a scratch folder at every level and without a size
// limit; the log starts empty with each object.
class LoggedModule {
public:
    explicit LoggedModule(const std::string& name);
    ~LoggedModule();
    LoggedModule(const LoggedModule&) = delete;
    LoggedModule& operator=(const LoggedModule&) = delete;

    template <typename F>
    F Export(const char* name) const
    {
        return module_.Export<F>(name);
    }
    // The log's entries so far, each "LEVEL message".
    std::vector<std::string> Entries() const;
    // Those of the entries whose message begins with `origin`.
    std::vector<std::string> EntriesFrom(const std::string& origin) const;

private:
    static bool Configure(const ScratchFolder& folder, const TestRegKey& key);

    ScratchFolder folder_;
    TestRegKey key_;
    bool configured_;
    ModuleUnderTest module_;
};

// Registry helpers on raw keys, so that what a test arranges does not depend on the code
// under test. A missing value reads as `missing`.
void SetStringValue(HKEY root, const std::string& key, const char* name, const std::string& text);
std::string GetStringValue(HKEY root, const std::string& key, const char* name, const std::string& missing = "");
void SetDWordValue(HKEY root, const std::string& key, const char* name, DWORD value);
DWORD GetDWordValue(HKEY root, const std::string& key, const char* name, DWORD missing);
void DeleteValue(HKEY root, const std::string& key, const char* name);


}  // namespace kstest
