#include "pending_lists.h"

#include "support/test_env.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>

namespace kstest {

namespace {

constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingValue[] = "PendingFileRenameOperations";

std::string WininitPath() { return WindowsFolder() + "\\wininit.ini"; }

// The value's bytes; empty when there is none.
std::string ReadValue()
{
    std::string buffer(1 << 20, '\0');
    DWORD size = static_cast<DWORD>(buffer.size()), type = 0;
    const bool read = SHGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, &type, &buffer[0], &size) == ERROR_SUCCESS;
    return buffer.substr(0, read ? size : 0);
}

// Writes the value, or deletes it when `data` is empty.
void WriteValue(const std::string& data)
{
    if (!data.empty())
        SHSetValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, REG_MULTI_SZ, data.data(),
                    static_cast<DWORD>(data.size()));
    else
        SHDeleteValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue);
}

std::string ReadSection()
{
    std::string section(65536, '\0');
    section.resize(GetPrivateProfileSectionA("rename", &section[0], 65536, WininitPath().c_str()));
    return section;
}

void WriteSection(const std::string& lines)
{
    WritePrivateProfileSectionA("rename", (lines + std::string(2, '\0')).c_str(), WininitPath().c_str());
}

// Texts of a zero-separated list.
std::vector<std::string> Texts(const std::string& data)
{
    std::vector<std::string> texts;
    for (size_t pos = 0, end = 0; pos < data.size(); pos = end + 1) {
        end = std::min(data.find('\0', pos), data.size());
        texts.push_back(data.substr(pos, end - pos));
    }
    return texts;
}

// Without the "\??\" or "!\??\" in front, short and in lower case.
std::string Canonical(std::string path)
{
    const size_t prefix = path.find("\\??\\");
    path = ShortPath(prefix <= 1 ? path.substr(prefix + 4) : path);
    CharLowerA(&path[0]);
    return path;
}

bool IsDeletion(const std::string& target) { return target == "NUL" || target == "DIRNUL"; }

}  // namespace

PendingListsTakeover::PendingListsTakeover() : value_(ReadValue()), hadWininit_(FileExists(WininitPath())), wininit_(ReadSection())
{
    Clear();
}

PendingListsTakeover::~PendingListsTakeover()
{
    WriteValue(value_);
    if (!hadWininit_)
        DeleteFileA(WininitPath().c_str());
    else
        WriteSection(wininit_);
}

void PendingListsTakeover::Clear()
{
    WriteValue("");
    WriteSection("");
}

void SchedulePending(const std::string& target, const std::string& source, bool replace)
{
    if (kstest::NtFamily())
        MoveFileExA(source.c_str(), IsDeletion(target) ? nullptr : target.c_str(),
                    MOVEFILE_DELAY_UNTIL_REBOOT | (replace ? MOVEFILE_REPLACE_EXISTING : 0));
    else
        WriteSection(ReadSection() + (IsDeletion(target) ? target : ShortPath(target)) + "=" + ShortPath(source));
}

std::vector<std::string> PendingOperations()
{
    std::vector<std::string> texts, operations;
    if (kstest::NtFamily()) {
        texts = Texts(ReadValue());  // source, target, ...
    } else {
        for (const std::string& line : Texts(ReadSection())) {
            const size_t equals = line.find('=');
            if (equals != std::string::npos)
                texts.insert(texts.end(), {line.substr(equals + 1), line.substr(0, equals)});
        }
    }
    for (size_t i = 0; i + 1 < texts.size() && !texts[i].empty(); i += 2) {
        const std::string& target = texts[i + 1];
        operations.push_back(target.empty() || IsDeletion(target)
                                 ? "DEL " + Canonical(texts[i])
                                 : "MOVE " + Canonical(texts[i]) + " TO " + Canonical(target));
    }
    return operations;
}

bool PendingListHoldsText(const std::string& path)
{
    const std::vector<std::string> texts = Texts(ReadValue());
    return std::count(texts.begin(), texts.end(), "\\??\\" + path) + std::count(texts.begin(), texts.end(), "!\\??\\" + path);
}

}  // namespace kstest
