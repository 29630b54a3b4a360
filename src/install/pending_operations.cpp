#include "install/pending_operations.h"

#include "frame/log.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/reg_key.h"
#include "platform/system_version.h"
#include "text/format.h"

#include <windows.h>

#include <cstring>
#include <new>

namespace {

constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kSessionManagerForWrite[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingValue[] = "PendingFileRenameOperations";
constexpr char kRenameSection[] = "rename";
constexpr char kNtPrefix[] = "\\??\\";
constexpr char kNtReplacePrefix[] = "!\\??\\";
constexpr DWORD kFirstSectionBuffer = 4096;

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }

// The short form of an existing path, trailing backslashes stripped before and after.
std::string ShortPath(std::string path)
{
    StripTrailingBackslashes(path);
    path = GetShortPath(path, "");
    StripTrailingBackslashes(path);
    return path;
}

// Built once per process, as the system's folder does not move.
const std::string& WininitPath()
{
    static const std::string path = GetWindowsFolder() + "\\wininit.ini";
    return path;
}

void AddPair(std::vector<std::string>& list, const std::string& target, const std::string& source)
{
    list.push_back(target);
    list.push_back(source);
    g_Log.Info("KSWise: ProcessUninstallStrings() dst - %s", target.c_str());
    g_Log.Info("KSWise: ProcessUninstallStrings() src - %s", source.c_str());
}

void SkipPair(const std::string& target, const std::string& source)
{
    g_Log.Info("KSWise: ProcessUninstallStrings() skipping dst - %s", target.c_str());
    g_Log.Info("KSWise: ProcessUninstallStrings() skipping src - %s", source.c_str());
}

// The zero-terminated text at `pos`, never reaching past the buffer's end; `pos` moves
// past its terminating zero.
std::string NextText(const std::string& buffer, size_t& pos)
{
    if (pos >= buffer.size()) {
        pos = buffer.size() + 1;
        return std::string();
    }
    const size_t end = buffer.find('\0', pos);
    const std::string text = buffer.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos += text.size() + 1;
    return text;
}

void ProcessPendingRenames(const std::string& buffer, std::vector<std::string>& list)
{
    for (size_t pos = 0; pos < buffer.size();) {
        const std::string rawSource = NextText(buffer, pos);
        if (rawSource.empty())
            continue;
        const std::string rawTarget = NextText(buffer, pos);
        const std::string source = StartsWith(rawSource, kNtPrefix) ? rawSource.substr(4) : rawSource;
        std::string target = rawTarget;
        if (StartsWith(target, kNtPrefix))
            target.erase(0, 4);
        else if (StartsWith(target, kNtReplacePrefix))
            target.erase(0, 5);
        if (!PathExists(source) || (!target.empty() && !PathExists(target))) {
            SkipPair(rawTarget, rawSource);
            continue;
        }
        if (target.empty())
            target = IsExistingFolder(source) ? kDeleteFolderTarget : kDeleteFileTarget;
        else
            target = ShortPath(target);
        AddPair(list, target, ShortPath(source));
    }
}

void ProcessWininitLines(const std::string& buffer, std::vector<std::string>& list)
{
    for (size_t pos = 0; pos < buffer.size();) {
        const std::string line = NextText(buffer, pos);
        if (line.empty())
            break;
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string target = line.substr(0, equals), source = line.substr(equals + 1);
        if (!PathExists(source) || (!IsDeletionTarget(target) && !PathExists(target))) {
            SkipPair(target, source);
            continue;
        }
        AddPair(list, IsDeletionTarget(target) ? target : ShortPath(target), ShortPath(source));
    }
}

// Whether a pair of the working list still passes the checks for being scheduled.
bool StillApplies(const std::string& target, const std::string& source)
{
    return PathExists(source) && (IsDeletionTarget(target) || PathExists(target));
}

void RescheduleInPendingRenames(const std::vector<std::string>& list)
{
    try {
        CVRegKey::LocalMachine.Open(kSessionManagerForWrite, KEY_QUERY_VALUE | KEY_SET_VALUE).DeleteValue(kPendingValue);
    } catch (const CVException&) {
        g_Log.Error("KSWise: SetUninstallStrings() Failed to delete PendingFileRenameOperations");
    }
    for (size_t i = 0; i + 1 < list.size(); i += 2) {
        const std::string& target = list[i];
        const std::string& source = list[i + 1];
        if (!StillApplies(target, source))
            continue;
        const bool deletion = IsDeletionTarget(target);
        if (!MoveFileExA(source.c_str(), deletion ? nullptr : target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT))
            g_Log.Error("KSWise: SetUninstallStrings() Failed to replace %s with of %s", source.c_str(),
                        deletion ? "NULL" : target.c_str());
    }
}

void RewriteWininit(const std::vector<std::string>& list)
{
    size_t size = 32;
    for (const std::string& text : list)
        size += text.size() + 1;
    std::string section;
    section.reserve(size);
    for (size_t i = 0; i + 1 < list.size(); i += 2) {
        if (StillApplies(list[i], list[i + 1]))
            section += list[i] + "=" + list[i + 1] + '\0';
    }
    section.resize(size, '\0');
    if (!WritePrivateProfileSectionA(kRenameSection, section.data(), WininitPath().c_str()))
        g_Log.Error("KSWise: SetUninstallStrings() - WritePrivateProfileSection failed. Error = %d",
                    static_cast<int>(GetLastError()));
}

bool ReadPendingRenames(std::string& buffer)
{
    try {
        const CVRegKey key = CVRegKey::LocalMachine.Open(kSessionManager, KEY_QUERY_VALUE);
        if (key.GetValueType(kPendingValue) != REG_MULTI_SZ)
            return true;
        const std::vector<BYTE> raw = key.GetBinary(kPendingValue);
        buffer.assign(raw.begin(), raw.end());
        return true;
    } catch (const std::bad_alloc&) {
        g_Log.Warning("KSWise: GetUninstallStrings() Cannot allocate buffer");
    } catch (const CVSystemException& e) {
        SetLastError(e.error);
        g_Log.Warning("KSWise: GetUninstallStrings() Exception = 0x%x", GetLastError());
    } catch (const CVException&) {
        g_Log.Warning("KSWise: GetUninstallStrings() Exception = 0x%x", GetLastError());
    }
    return false;
}

bool ReadWininit(std::string& buffer)
{
    if (!PathExists(WininitPath())) {
        g_Log.Info("KSWise: GetUninstallStrings() Wininit.ini doesn't exist");
        return false;
    }
    try {
        // A section that did not fit comes back cut at the buffer's size - 2.
        for (DWORD size = kFirstSectionBuffer;; size *= 2) {
            std::string section(size, '\0');
            const DWORD length = GetPrivateProfileSectionA(kRenameSection, &section[0], size, WininitPath().c_str());
            if (length != size - 2) {
                // The lines with their zeros; the list's closing zero is not kept.
                section.resize(length);
                buffer.swap(section);
                return true;
            }
        }
    } catch (const std::bad_alloc&) {
        g_Log.Error("KSWise: GetUninstallStrings() Cannot allocate buffer");
        return false;
    }
}

}  // namespace

bool IsDeletionTarget(const std::string& target)
{
    return lstrcmpiA(target.c_str(), kDeleteFileTarget) == 0 || lstrcmpiA(target.c_str(), kDeleteFolderTarget) == 0;
}

bool GetUninstallStrings(std::string& buffer)
{
    buffer.clear();
    return IsWindowsNT() ? ReadPendingRenames(buffer) : ReadWininit(buffer);
}

bool ProcessUninstallStrings(const std::string& buffer, std::vector<std::string>& list)
{
    list.clear();
    if (buffer.empty()) {
        g_Log.Info("KSWise: ProcessUninstallStrings() Buffer is empty");
        return false;
    }
    if (IsWindowsNT())
        ProcessPendingRenames(buffer, list);
    else
        ProcessWininitLines(buffer, list);
    return true;
}

void SetUninstallStrings(const std::vector<std::string>& list)
{
    if (IsWindowsNT())
        RescheduleInPendingRenames(list);
    else
        RewriteWininit(list);
}
