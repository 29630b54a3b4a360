#include "uninstall/uninstall_options.h"

#include "text/wildcard.h"
#include "uninstall/command_line_args.h"

#include <windows.h>

#include <memory>
#include <new>

UninstallOptions g_UninstallOptions;

namespace {

// The largest size, terminator included, that the reader accepts.
constexpr DWORD kMaxVariableSize = 32767;
constexpr char kCfgSwitchPattern[] = "/cfg=*";
constexpr size_t kCfgSwitchLength = 5;  // "/cfg="

// One argument against the switch table, in its order; the first match applies.
void ApplySwitch(const char* argument)
{
    UninstallOptions& options = g_UninstallOptions;
    if (_stricmp(argument, "/s") == 0) {
        options.silent = true;
    } else if (_stricmp(argument, "/nr") == 0) {
        options.noRestart = true;
    } else if (_stricmp(argument, "/install") == 0) {
        options.installMode = true;
        options.silent = true;
    } else if (_stricmp(argument, "/leavelogs") == 0) {
        options.leaveLogs = true;
    } else if (WildcardMatch(argument, kCfgSwitchPattern)) {
        options.cfgPath = argument + kCfgSwitchLength;
    } else if (_stricmp(argument, "/oneprocess") == 0) {
        options.oneProcess = true;
    } else if (_stricmp(argument, "/leavestats") == 0) {
        options.leaveStats = true;
    }
}

// Whether `bytes` hold the whole value of `name`, as many characters as the wide call
// counts (when it answers: Windows 95 has only a stub). Wine answers the A call in
// characters and cuts double-byte values short.
bool IsWholeValue(const char* name, const char* bytes, DWORD length)
{
    const int wideName = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (wideName <= 0)
        return true;
    std::unique_ptr<wchar_t[]> nameW(new (std::nothrow) wchar_t[wideName]);
    if (!nameW || !MultiByteToWideChar(CP_ACP, 0, name, -1, nameW.get(), wideName))
        return true;
    const DWORD wideSize = GetEnvironmentVariableW(nameW.get(), nullptr, 0);
    if (wideSize == 0)
        return true;
    const int characters = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(length), nullptr, 0);
    return static_cast<DWORD>(characters) + 1 == wideSize;
}

}  // namespace

void ParseUninstallSwitches(const char* commandLine)
{
    const CommandLineArgs arguments(commandLine);
    for (size_t i = 0; i < arguments.Count(); ++i)
        ApplySwitch(arguments[i]);
}

std::string GetEnvVar(const char* name, const char* defaultValue)
{
    std::string value = defaultValue ? defaultValue : "";
    if (!name)
        return value;
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0 || size > kMaxVariableSize)
        return value;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (!buffer)
        return value;
    const DWORD length = GetEnvironmentVariableA(name, buffer.get(), size);
    // A variable that grew between the two calls is not read either.
    if (length == 0 || length >= size)
        return value;
    if (!IsWholeValue(name, buffer.get(), length))
        return value;
    value.assign(buffer.get(), length);
    return value;
}
