#include "install_test_env.h"

#include "frame/module.h"

#include <shlwapi.h>

namespace kstest {

LoggedModule::LoggedModule(const std::string& name)
    : folder_(name + "_log"), key_(name + "_log"), configured_(Configure(folder_, key_)), module_()
{
}

LoggedModule::~LoggedModule()
{
    module_.Unload();
    SetEnvironmentVariableA(ProcessVariableName(kLogDirVariableFormat).c_str(), nullptr);
    SetEnvironmentVariableA(ProcessVariableName(kLogKeyVariableFormat).c_str(), nullptr);
}

bool LoggedModule::Configure(const ScratchFolder& folder, const TestRegKey& key)
{
    SetDWordValue(key.Root(), key.Path(), "ERRORS_ONLY=", 0);
    SetDWordValue(key.Root(), key.Path(), "MAX_SIZE=", 0);
    SetDWordValue(key.Root(), key.Path(), "APPEND=", 0);
    SetEnvironmentVariableA(ProcessVariableName(kLogDirVariableFormat).c_str(), folder.Path().c_str());
    SetEnvironmentVariableA(ProcessVariableName(kLogKeyVariableFormat).c_str(), key.Path().c_str());
    return true;
}

std::vector<std::string> LoggedModule::Entries() const
{
    // Each entry: CR LF, CR LF, level word, TAB, timestamp, TAB, CR LF, message.
    const std::string log = ReadFile(folder_ / "KSInst.log");
    std::vector<std::string> entries;
    for (size_t start = log.find("\r\n\r\n"); start != std::string::npos;) {
        const size_t next = log.find("\r\n\r\n", start + 4);
        const std::string entry = log.substr(start + 4, next == std::string::npos ? std::string::npos : next - start - 4);
        const size_t tab = entry.find('\t'), lineEnd = entry.find("\r\n");
        if (tab != std::string::npos && lineEnd != std::string::npos && entry.compare(0, tab, "FINISH") != 0)
            entries.push_back(entry.substr(0, tab) + " " + entry.substr(lineEnd + 2));
        start = next;
    }
    return entries;
}

std::vector<std::string> LoggedModule::EntriesFrom(const std::string& origin) const
{
    std::vector<std::string> found;
    for (const std::string& entry : Entries()) {
        const size_t blank = entry.find(' ');
        if (entry.compare(blank + 1, origin.size(), origin) == 0)
            found.push_back(entry);
    }
    return found;
}

void SetStringValue(HKEY root, const std::string& key, const char* name, const std::string& text)
{
    SHSetValueA(root, key.c_str(), name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

std::string GetStringValue(HKEY root, const std::string& key, const char* name, const std::string& missing)
{
    char buffer[1024] = {};
    DWORD size = sizeof(buffer) - 1, type = 0;
    if (SHGetValueA(root, key.c_str(), name, &type, buffer, &size) != ERROR_SUCCESS || type != REG_SZ)
        return missing;
    return buffer;
}

void SetDWordValue(HKEY root, const std::string& key, const char* name, DWORD value)
{
    SHSetValueA(root, key.c_str(), name, REG_DWORD, &value, sizeof(value));
}

DWORD GetDWordValue(HKEY root, const std::string& key, const char* name, DWORD missing)
{
    DWORD value = 0, size = sizeof(value), type = 0;
    if (SHGetValueA(root, key.c_str(), name, &type, &value, &size) != ERROR_SUCCESS || type != REG_DWORD)
        return missing;
    return value;
}

void DeleteValue(HKEY root, const std::string& key, const char* name) { SHDeleteValueA(root, key.c_str(), name); }

}  // namespace kstest
