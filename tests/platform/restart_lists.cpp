#include "restart_lists.h"

#include <windows.h>

#include <cstring>

namespace kstest {

namespace {

constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingValue[] = "PendingFileRenameOperations";
constexpr char kNtPrefix[] = "\\??\\";

// The texts of the REG_MULTI_SZ value, empty ones included (a deletion's target).
std::vector<std::string> ReadPendingTexts()
{
    std::vector<std::string> texts;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return texts;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, kPendingValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size > 0) {
        std::vector<char> data(size + 2, '\0');
        RegQueryValueExA(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        // Pairs of texts; the list ends at the end of the data, since empty texts are part of it.
        for (size_t pos = 0; pos < size;) {
            std::string text(data.data() + pos);
            pos += text.size() + 1;
            texts.push_back(text);
        }
        // The closing empty text of the list itself.
        if (texts.size() % 2 == 1 && texts.back().empty())
            texts.pop_back();
    }
    RegCloseKey(key);
    return texts;
}

std::string StripNtPrefix(const std::string& path)
{
    return path.compare(0, strlen(kNtPrefix), kNtPrefix) == 0 ? path.substr(strlen(kNtPrefix)) : path;
}

bool IsAtOrBelow(const std::string& path, const std::string& folder)
{
    if (path.size() < folder.size() || _strnicmp(path.c_str(), folder.c_str(), folder.size()) != 0)
        return false;
    return path.size() == folder.size() || path[folder.size()] == '\\';
}

}  // namespace

std::vector<std::string> PendingDeletions()
{
    std::vector<std::string> texts = ReadPendingTexts();
    std::vector<std::string> deletions;
    for (size_t i = 0; i + 1 < texts.size(); i += 2) {
        if (texts[i + 1].empty())
            deletions.push_back(StripNtPrefix(texts[i]));
    }
    return deletions;
}

std::vector<std::string> PendingDeletionsBelow(const std::string& folder)
{
    std::vector<std::string> below;
    for (const std::string& path : PendingDeletions()) {
        if (IsAtOrBelow(path, folder))
            below.push_back(path);
    }
    return below;
}

void ForgetPendingBelow(const std::string& folder)
{
    std::vector<std::string> texts = ReadPendingTexts();
    std::string kept;
    bool changed = false;
    for (size_t i = 0; i + 1 < texts.size(); i += 2) {
        if (IsAtOrBelow(StripNtPrefix(texts[i]), folder)) {
            changed = true;
            continue;
        }
        kept += texts[i] + '\0' + texts[i + 1] + '\0';
    }
    if (!changed)
        return;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (kept.empty()) {
        RegDeleteValueA(key, kPendingValue);
    } else {
        kept += '\0';
        RegSetValueExA(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size()));
    }
    RegCloseKey(key);
}

std::vector<std::string> WininitRenameLines()
{
    std::vector<char> buffer(32767, '\0');
    DWORD length = GetPrivateProfileSectionA("rename", buffer.data(), 32767, "WININIT.INI");
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < length && buffer[pos];) {
        std::string line(buffer.data() + pos);
        pos += line.size() + 1;
        lines.push_back(line);
    }
    return lines;
}

WininitSectionGuard::WininitSectionGuard()
{
    for (const std::string& line : WininitRenameLines())
        saved_ += line + '\0';
}

WininitSectionGuard::~WininitSectionGuard()
{
    if (saved_.empty()) {
        WritePrivateProfileStringA("rename", nullptr, nullptr, "WININIT.INI");
    } else {
        std::string section = saved_ + '\0';
        WritePrivateProfileSectionA("rename", section.c_str(), "WININIT.INI");
    }
}

}  // namespace kstest
