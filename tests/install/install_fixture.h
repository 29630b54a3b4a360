// What the installation-action tests share: a copy of the module in a product folder of
// its own, with its configuration beside it and its log redirected into the scratch
// folder at every level; waiting for files.
#pragma once

#include "support/test_env.h"

#include <windows.h>

#include <string>
#include <vector>

namespace kstest {

// C:\kstest\<program>\<name>: the module copied to prog\KSInst.dll with `cfgText` as
// prog\KSInst.cfg (none when empty), logging every level into log\KSInst.log.
class InstalledModule {
public:
    InstalledModule(const std::string& name, const std::string& cfgText);
    ~InstalledModule();

    const ScratchFolder& Folder() const { return folder_; }
    std::string CfgPath() const { return folder_ / "prog\\KSInst.cfg"; }
    void WriteCfg(const std::string& cfgText) const { WriteFile(CfgPath(), cfgText); }

    template <typename F>
    F Export(const char* name) const
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    // Unloads and loads the module again: its first-use state starts anew.
    void Reload();

    // The log's entries since the module was loaded, each "LEVEL message".
    std::vector<std::string> LogEntries() const { return LogEntriesOf(ReadFile(folder_ / "log\\KSInst.log")); }
    // Those of them whose message begins with `origin`.
    std::vector<std::string> LogEntriesFrom(const std::string& origin) const;

private:
    ScratchFolder folder_;
    TestRegKey logKey_;
    HMODULE module_ = nullptr;
};

// The file's bytes once it exists (polled up to `timeoutMs`); empty when it never came.
std::string WaitForFile(const std::string& path, DWORD timeoutMs = 10000);

}  // namespace kstest
