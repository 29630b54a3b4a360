// KSWAnalyzeLog on generated installation logs of 10,000, 100,000 and 1,000,000 lines
// (about one line in ten a "File Copy: " or "File Overwrite: " line naming a file that
// exists) against pending lists of 10, 100 and 1,000 pairs, beside the time to read the
// same log file, the time to read and check the pending list alone, and the time of the
// scan and the walk alone (the log in memory, every system answer known). The pending
// pairs are chosen so that none is removed: every run sees the same list.
#include "bench_common.h"

#include "frame/exports.h"
#include "install/log_analysis.h"
#include "install/pending_operations.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kInstalledFiles = 2000;
constexpr int kRounds = 3;
constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

void MakeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, "data", 4, &written, nullptr);
    CloseHandle(file);
}

std::string Numbered(const char* format, int number)
{
    char text[MAX_PATH];
    wsprintfA(text, format, number);
    return text;
}

// The installed files: 20 folders of 100, with long names as installers give them.
std::vector<std::string> MakeInstallation(const std::string& root)
{
    std::vector<std::string> files;
    CreateDirectoryA((root + "\\Application Files").c_str(), nullptr);
    for (int i = 0; i < kInstalledFiles; ++i) {
        const std::string folder = root + Numbered("\\Application Files\\Component Folder %02d", i / 100);
        if (i % 100 == 0)
            CreateDirectoryA(folder.c_str(), nullptr);
        files.push_back(folder + Numbered("\\Installed Component Library %04d.dll", i));
        MakeFile(files.back());
    }
    return files;
}

std::string MakeLog(const std::string& path, int lines, const std::vector<std::string>& installed)
{
    std::string text;
    text.reserve(static_cast<size_t>(lines) * 80);
    unsigned seed = 1;
    for (int i = 0; i < lines; ++i) {
        seed = seed * 1103515245u + 12345u;
        const std::string& file = installed[(seed >> 8) % installed.size()];
        // Even files are overwritten, odd ones copied (see WritePendingList).
        const bool copied = (seed >> 8) % installed.size() % 2 == 1;
        if (i % 10 == 3)
            text += (copied ? "File Copy: " : "File Overwrite: ") + file + "|Main Group\r\n";
        else
            text += Numbered("2026/12/06 06:00:%02d Registering component ", i % 60) +
                    Numbered("%07d with the system, step 4 of 9\r\n", i);
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

// Pending pairs that no installed file removes: deletions of old files, replacements of
// installed files that the log only overwrites (which asks for a restart) and deletions
// of files that share a copied file's name elsewhere (which asks for a restart too). They
// lie in folders of 50 files, as an upgrade's leftovers lie in the product's folders.
void WritePendingList(const std::string& root, int pairs, const std::vector<std::string>& installed)
{
    std::string value;
    for (int i = 0; i < pairs; ++i) {
        const std::string folder = root + Numbered("\\Pending Operations %02d", i / 50);
        if (i % 50 == 0)
            CreateDirectoryA(folder.c_str(), nullptr);
        std::string source, target;
        if (i % 10 == 0) {
            source = folder + Numbered("\\Replacement Library %04d.tmp", i);
            target = "!\\??\\" + installed[(i * 14) % installed.size()];
        } else if (i % 10 == 1) {
            const std::string& namesake = installed[(i * 14 + 1) % installed.size()];
            source = folder + namesake.substr(namesake.rfind('\\'));
        } else {
            source = folder + Numbered("\\Old Data File %04d.dat", i);
        }
        MakeFile(source);
        value += "\\??\\" + source + '\0' + target + '\0';
    }
    value += '\0';
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key);
    RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value.data()),
                   static_cast<DWORD>(value.size()));
    RegCloseKey(key);
}

double TimeReadFile(const std::string& path)
{
    const double start = bench::Now();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD size = GetFileSize(file, nullptr);
    std::unique_ptr<char[]> buffer(new char[size]);
    DWORD read = 0;
    ReadFile(file, buffer.get(), size, &read, nullptr);
    CloseHandle(file);
    return bench::Now() - start;
}

double TimePendingList(size_t* pairs)
{
    const double start = bench::Now();
    std::string raw;
    std::vector<std::string> list;
    GetUninstallStrings(raw);
    ProcessUninstallStrings(raw, list);
    *pairs = list.size() / 2;
    return bench::Now() - start;
}

// What the system's lookups cost for every installed file once: its attributes and its
// short form, as the analysis asks for each distinct path the log names.
double TimeInstalledLookups(const std::vector<std::string>& installed)
{
    const double start = bench::Now();
    char shortPath[MAX_PATH];
    for (const std::string& file : installed) {
        GetFileAttributesA(file.c_str());
        GetShortPathNameA(file.c_str(), shortPath, MAX_PATH);
    }
    return bench::Now() - start;
}

// The system's answers, asked once per path and then kept: the scan and the walk alone.
class RememberingProbe : public SystemFileProbe {
public:
    std::string InstalledFile(const std::string& path) override
    {
        const auto found = installed_.find(path);
        if (found != installed_.end())
            return found->second;
        return installed_[path] = SystemFileProbe::InstalledFile(path);
    }
    bool Exists(const std::string& path) override
    {
        const auto found = exists_.find(path);
        if (found != exists_.end())
            return found->second;
        return exists_[path] = SystemFileProbe::Exists(path);
    }

private:
    std::map<std::string, std::string> installed_;
    std::map<std::string, bool> exists_;
};

// AnalyzeInstallLog on the log in memory and the list already read, with every system
// answer known beforehand.
double TimeScanInMemory(const std::string& logPath)
{
    HANDLE file = CreateFileA(logPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD size = GetFileSize(file, nullptr);
    std::unique_ptr<char[]> buffer(new char[size]);
    DWORD read = 0;
    ReadFile(file, buffer.get(), size, &read, nullptr);
    CloseHandle(file);
    std::string raw;
    std::vector<std::string> list;
    GetUninstallStrings(raw);
    ProcessUninstallStrings(raw, list);
    RememberingProbe probe;
    const auto noLog = [](const std::string&) {};
    std::vector<std::string> working = list;
    AnalyzeInstallLog(buffer.get(), size, working, probe, noLog);
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        working = list;
        const double start = bench::Now();
        AnalyzeInstallLog(buffer.get(), size, working, probe, noLog);
        best = std::min(best, bench::Now() - start);
    }
    return best;
}

}  // namespace

int main()
{
    const std::string root = bench::ScratchFolder("analyze_log");
    const std::vector<std::string> installed = MakeInstallation(root);
    const int logLines[] = {10000, 100000, 1000000};
    const int pendingPairs[] = {10, 100, 1000};
    std::vector<std::string> logs;
    for (int lines : logLines)
        logs.push_back(MakeLog(root + Numbered("\\install_%d.log", lines), lines, installed));

    double lookups = 1e9;
    for (int round = 0; round < kRounds; ++round)
        lookups = std::min(lookups, TimeInstalledLookups(installed));
    printf("attributes and short forms of the %d installed files: %.3f s\n", kInstalledFiles, lookups);
    bench::Report("analyze_log.installed_lookups_2000", lookups, "s");

    printf("%-10s %8s %12s %12s %12s %12s %8s\n", "log lines", "pairs", "analyze s", "read log s", "list s",
           "scan s", "result");
    for (int pairs : pendingPairs) {
        WritePendingList(root, pairs, installed);
        for (size_t i = 0; i < logs.size(); ++i) {
            double analyze = 1e9, read = 1e9, list = 1e9;
            LONG result = 0;
            size_t kept = 0;
            for (int round = 0; round < kRounds; ++round) {
                read = std::min(read, TimeReadFile(logs[i]));
                list = std::min(list, TimePendingList(&kept));
                const double start = bench::Now();
                result = KSWAnalyzeLog(logs[i].c_str());
                analyze = std::min(analyze, bench::Now() - start);
            }
            const double scan = TimeScanInMemory(logs[i]);
            printf("%-10d %8d %12.3f %12.3f %12.3f %12.3f %8ld\n", logLines[i], pairs, analyze, read, list, scan,
                   result);
            if (kept != static_cast<size_t>(pairs))
                printf("  the pending list read back %u pairs\n", static_cast<unsigned>(kept));
            const std::string name = Numbered("analyze_log.lines_%d", logLines[i]) + Numbered(".pairs_%d", pairs);
            bench::Report(name + ".KSWAnalyzeLog", analyze, "s");
            bench::Report(name + ".read_log", read, "s");
            bench::Report(name + ".pending_list", list, "s");
            bench::Report(name + ".scan_in_memory", scan, "s");
        }
    }
    SHDeleteValueA(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
    bench::ScratchFolder("analyze_log");
    return 0;
}
