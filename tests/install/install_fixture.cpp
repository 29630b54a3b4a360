#include "install/install_fixture.h"

#include "frame/module.h"
#include "platform/reg_key.h"

namespace kstest {

InstalledModule::InstalledModule(const std::string& name, const std::string& cfgText)
    : folder_(name), logKey_("log_" + name)
{
    folder_.MakeFolder("prog");
    folder_.MakeFolder("log");
    CopyFileA(ModuleUnderTest::Path().c_str(), (folder_ / "prog\\KSInst.dll").c_str(), FALSE);
    if (!cfgText.empty())
        WriteCfg(cfgText);
    const CVRegKey options = CVRegKey::CurrentUser.Create(logKey_.Path().c_str(), KEY_SET_VALUE);
    options.SetDWord("ERRORS_ONLY=", 0);
    options.SetDWord("MAX_SIZE=", 0);
    Reload();
}

InstalledModule::~InstalledModule()
{
    FreeLibrary(module_);
    SetEnvironmentVariableA(ProcessVariableName(kLogKeyVariableFormat).c_str(), nullptr);
    SetEnvironmentVariableA(ProcessVariableName(kLogDirVariableFormat).c_str(), nullptr);
}

void InstalledModule::Reload()
{
    FreeLibrary(module_);
    // The module reads both variables when it is loaded.
    SetEnvironmentVariableA(ProcessVariableName(kLogKeyVariableFormat).c_str(), logKey_.Path().c_str());
    SetEnvironmentVariableA(ProcessVariableName(kLogDirVariableFormat).c_str(), (folder_ / "log").c_str());
    module_ = LoadLibraryA((folder_ / "prog\\KSInst.dll").c_str());
}

std::vector<std::string> InstalledModule::LogEntriesFrom(const std::string& origin) const
{
    std::vector<std::string> found;
    for (const std::string& entry : LogEntries()) {
        if (entry.compare(entry.find(' ') + 1, origin.size(), origin) == 0)
            found.push_back(entry);
    }
    return found;
}

std::string WaitForFile(const std::string& path, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs && !FileExists(path); waited += 50)
        Sleep(50);
    Sleep(100);  // the writer may still hold it
    return ReadFile(path);
}

}  // namespace kstest
