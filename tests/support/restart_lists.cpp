#include "support/restart_lists.h"

#include "platform/reg_key.h"
#include "support/test_env.h"

#include <windows.h>

namespace kstest {

namespace {

constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingValue[] = "PendingFileRenameOperations";

}  // namespace

std::vector<std::string> PendingDeletionsBelow(const std::string& folder, bool forget)
{
    std::vector<std::string> found;
    try {
        const CVRegKey key = CVRegKey::LocalMachine.Open(kSessionManager, KEY_QUERY_VALUE | KEY_SET_VALUE);
        const std::vector<BYTE> raw = key.GetBinary(kPendingValue);
        const std::string data = std::string(raw.begin(), raw.end()) + std::string(2, '\0');
        std::string kept;
        // Pairs of texts (source, target); a deletion has an empty target.
        for (size_t pos = 0; pos < raw.size() && data[pos];) {
            const std::string source = data.c_str() + pos, target = data.c_str() + pos + source.size() + 1;
            pos += source.size() + target.size() + 2;
            const std::string path = source.compare(0, 4, "\\??\\") == 0 ? source.substr(4) : source;
            if (_strnicmp(path.c_str(), folder.c_str(), folder.size()) != 0 ||
                (path.size() > folder.size() && path[folder.size()] != '\\'))
                kept += source + '\0' + target + '\0';
            else if (target.empty())
                found.push_back(path);
        }
        if (forget && !found.empty()) {
            if (kept.empty())
                key.DeleteValue(kPendingValue);
            else
                key.SetValue(kPendingValue, kept.c_str(), static_cast<DWORD>(kept.size() + 1), REG_MULTI_SZ);
        }
    } catch (const CVException&) {
        // No list, nothing pending.
    }
    return found;
}

bool SimulateRestart() { return RunAndWait(SystemFolder() + "\\wineboot.exe -r", 120000, false); }

std::vector<std::string> WininitRenameLines()
{
    std::string buffer(32767, '\0');
    const DWORD length = GetPrivateProfileSectionA("rename", &buffer[0], 32767, "WININIT.INI");
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < length && buffer[pos]; pos += lines.back().size() + 1)
        lines.push_back(buffer.c_str() + pos);
    return lines;
}

RestartListsGuard::RestartListsGuard(const std::string& folder) : folder_(folder)
{
    if (NtFamily())
        PendingDeletionsBelow(folder_, true);
    else
        for (const std::string& line : WininitRenameLines())
            section_ += line + '\0';
}

RestartListsGuard::~RestartListsGuard()
{
    if (NtFamily())
        PendingDeletionsBelow(folder_, true);
    else if (section_.empty())
        WritePrivateProfileStringA("rename", nullptr, nullptr, "WININIT.INI");
    else
        WritePrivateProfileSectionA("rename", (section_ + '\0').c_str(), "WININIT.INI");
}

}  // namespace kstest
