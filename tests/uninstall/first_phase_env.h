// What the first-phase tests share: a product folder with its configuration loaded into
// the uninstaller's state, the in-process log at every level, registry probes, stand-in
// programs, and finding the uninstaller's windows from another thread.
#pragma once

#include "support/test_env.h"

#include <windows.h>

#include <string>
#include <vector>

namespace kstest {

// The product's unique name in every first-phase test (the module keeps the first one).
constexpr char kUniqueName[] = "KSTestFirstPhase";
constexpr char kAppName[] = "KSTest";

// C:\kstest\<program>\<name>: prod\ (General\Path) with KSCommon.cfg; the log at every
// level from the fixture's start.
// Resets the uninstaller state, RestartNeeded and the hand-over variables; the module
// copy under test gives the resources. Undoes the stop-wait and stage-observer changes.
class ProductFixture {
public:
    explicit ProductFixture(const std::string& name);
    ~ProductFixture();
    ProductFixture(const ProductFixture&) = delete;
    ProductFixture& operator=(const ProductFixture&) = delete;

    const ScratchFolder& Folder() const { return folder_; }
    std::string Product() const { return folder_ / "prod"; }
    std::string CfgPath() const { return folder_ / "prod\\KSCommon.cfg"; }
    // Writes the configuration ("%PROD%" stands for the product folder) and loads it into
    // the uninstaller's state with `silent`.
    void Configure(const std::string& cfgText, bool silent);
    // A copy of kshelper.exe (a stand-in program) at `relative` below the product.
    std::string AddProgram(const std::string& relative) const;

    // The log's entries so far, each "LEVEL message".
    std::vector<std::string> LogEntries() const;
    bool Logged(const std::string& entry) const;
    bool LoggedStartingWith(const std::string& prefix) const;

private:
    ScratchFolder folder_;
    ModuleUnderTest module_;
    size_t logStart_ = 0;
};

bool ValueExists(HKEY root, const std::string& key, const char* value);
bool KeyExists(HKEY root, const std::string& key);
void SetValue(HKEY root, const std::string& key, const char* value, const std::string& data);
std::string Variable(const char* name);  // "<unset>" when missing

// The first visible window of class "#32770" of this process that holds (or, with
// `withBar` false, lacks) a progress bar 1000; null after `timeoutMs`.
HWND WaitForDialog(bool withBar, DWORD timeoutMs = 10000);

}  // namespace kstest
