// The log scan on its own: the indexed walk against a plain pair-by-pair walk written
// from the rules, and the scan's bounds.
#include "install/log_analysis.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <mbctype.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

bool Same(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

std::string Folder(const std::string& path)
{
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Name(const std::string& path)
{
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file system of names only: files answer with their upper-case form (as short paths
// are given), folders and unknown names with nothing.
class FakeProbe : public InstalledFileProbe {
public:
    std::set<std::string> files;  // lower case
    std::set<std::string> existing;
    int asked = 0;

    std::string InstalledFile(const std::string& path) override
    {
        ++asked;
        std::string upper = path;
        for (char& c : upper)
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        return files.count(Lower(path)) ? upper : std::string();
    }
    bool Exists(const std::string& path) override { return existing.count(Lower(path)) != 0; }
};

struct Outcome {
    LogAnalysisResult result;
    std::vector<std::string> list;
    std::vector<std::string> lines;
};

// The walk as the rules state it: every pair, from the first, for every installed file.
Outcome PairByPair(const std::string& log, std::vector<std::string> list, FakeProbe& probe)
{
    Outcome out;
    const char* prefixes[] = {"File Overwrite: ", "File Copy: "};
    size_t pos = 0;
    while (pos < log.size() && !list.empty()) {
        if (isspace(static_cast<unsigned char>(log[pos]))) {
            ++pos;
            continue;
        }
        int index = -1;
        for (int i = 0; i < 2 && index < 0; ++i) {
            if (log.size() - pos >= strlen(prefixes[i]) && _strnicmp(log.c_str() + pos, prefixes[i], strlen(prefixes[i])) == 0)
                index = i;
        }
        if (index < 0) {
            ++pos;
            continue;
        }
        out.lines.push_back(std::string("KSWAnalyzeLog: Found a match for ") + prefixes[index]);
        const size_t start = pos + strlen(prefixes[index]);
        const size_t lineFeed = log.find('\n', start);
        std::string path = log.substr(start, lineFeed == std::string::npos ? std::string::npos : lineFeed - start);
        path = path.substr(0, path.find('|'));
        path.erase(path.find_last_not_of(" \t\r") + 1);
        path.erase(0, std::min(path.find_first_not_of(" \t\r"), path.size()));
        pos = lineFeed == std::string::npos ? pos + 1 : lineFeed;
        const std::string installed = probe.InstalledFile(path);
        if (installed.empty())
            continue;
        for (size_t i = 0; i + 1 < list.size();) {
            const std::string target = list[i], source = list[i + 1];
            bool remove = false;
            if (Same(target, "NUL")) {
                if (Same(installed, source))
                    remove = true;
                else if (index == 1 && Same(Name(installed), Name(source))) {
                    out.result.restartNeeded = true;
                    out.lines.push_back("KSWAnalyzeLog: We should restart because we want " + source + " to be deleted");
                }
            } else if (Same(target, "DIRNUL")) {
                for (std::string folder = Folder(installed); !folder.empty(); folder = Folder(folder))
                    remove = remove || Same(folder, source);
            } else if (Same(installed, target)) {
                if (index == 1) {
                    remove = true;
                } else if (probe.Exists(source)) {
                    out.result.restartNeeded = true;
                    out.lines.push_back("KSWAnalyzeLog: We should restart because of " + target + " and " + source);
                }
            }
            if (remove) {
                out.lines.push_back("KSWAnalyzeLog: Deleting " + target + " and " + source);
                list.erase(list.begin() + i, list.begin() + i + 2);
                out.result.listChanged = true;
            } else {
                i += 2;
            }
        }
    }
    out.list = list;
    return out;
}

Outcome Indexed(const std::string& log, std::vector<std::string> list, FakeProbe& probe)
{
    Outcome out;
    out.result = AnalyzeInstallLog(log.data(), log.size(), list, probe,
                                   [&out](const std::string& line) { out.lines.push_back(line); });
    out.list = list;
    return out;
}

TEST(LogScan, IndexedWalkGivesThePairByPairResults)
{
    const char* folders[] = {"C:\\App", "C:\\App\\Sub", "c:\\app\\sub\\deep", "C:\\Other", "D:\\App"};
    const char* names[] = {"a.dll", "B.DLL", "c.exe", "a.DLL"};
    const char* prefixes[] = {"File Copy: ", "File Overwrite: ", "file copy: ", "FILE OVERWRITE: ", "File Copy:"};
    const char* tails[] = {"", "|group", "  \t", "\r", " | x\r", "\\"};
    unsigned seed = 2024;
    const auto next = [&seed](unsigned range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    const auto path = [&]() { return std::string(folders[next(5)]) + "\\" + names[next(4)]; };
    int restarts = 0, changes = 0, lines = 0;
    for (int scenario = 0; scenario < 400; ++scenario) {
        FakeProbe probe;
        for (const char* folder : folders) {
            for (const char* name : names) {
                if (next(3))
                    probe.files.insert(Lower(std::string(folder) + "\\" + name));
                if (next(2))
                    probe.existing.insert(Lower(std::string(folder) + "\\" + name));
            }
        }
        std::vector<std::string> list;
        for (unsigned pairs = next(12); pairs > 0; --pairs) {
            const unsigned kind = next(5);
            list.push_back(kind == 0 ? "NUL" : kind == 1 ? "nul" : kind == 2 ? "DIRNUL" : path());
            std::string source = kind == 2 ? std::string(folders[next(5)]) : path();
            if (next(2))
                source = Lower(source);
            list.push_back(source);
        }
        if (next(4) == 0)
            list.push_back("C:\\App\\a.dll");  // an odd text at the end is carried along
        std::string log;
        for (unsigned count = next(10); count > 0; --count) {
            log += next(3) ? std::string(next(2) ? "" : " \t") : std::string("12:00 setup ");
            // A second prefix on the same line is found only where the line has no end.
            log += prefixes[next(5)] + std::string(next(4) ? "" : prefixes[next(5)]) + std::string(next(2) ? " " : "") +
                   path() + tails[next(6)];
            log += next(4) ? "\n" : (next(2) ? "\r\n" : "");
        }
        SCOPED_TRACE(log);
        FakeProbe plainProbe = probe;
        const Outcome plain = PairByPair(log, list, plainProbe);
        const Outcome indexed = Indexed(log, list, probe);
        EXPECT_EQ(indexed.result.restartNeeded, plain.result.restartNeeded);
        EXPECT_EQ(indexed.result.listChanged, plain.result.listChanged);
        EXPECT_EQ(indexed.list, plain.list);
        EXPECT_EQ(indexed.lines, plain.lines);
        EXPECT_LE(probe.asked, plainProbe.asked) << "one question per distinct path";
        restarts += plain.result.restartNeeded;
        changes += plain.result.listChanged;
        lines += static_cast<int>(plain.lines.size());
    }
    // The scenarios reach every outcome, many times.
    EXPECT_GT(restarts, 40);
    EXPECT_GT(changes, 40);
    EXPECT_GT(lines, 1000);
}

// Logs that end on the last byte of a page with no access behind it: the scan reads
// nothing beyond the log, whatever the bytes.
TEST(LogScan, NeverReadsPastTheLog)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const DWORD page = system.dwPageSize;
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
    FakeProbe probe;
    probe.files = {"c:\\app\\a.dll"};
    const std::vector<std::string> list = {"NUL", "C:\\APP\\A.DLL", "C:\\APP\\A.DLL", "C:\\NEW.DLL"};
    const std::string endings[] = {"F", "File", "File Copy:", "File Copy: ", "File Copy: C:\\App\\a.dll",
                                   "file overwrite: C:\\App\\a.dll |", "File Copy: C:\\App\\a.dll\r",
                                   "\x81", "x\x81", "File Copy: \x81", " \t\r\n", "File Overwrite"};
    unsigned seed = 7;
    for (int round = 0; round < 300; ++round) {
        std::string log;
        if (round < 12) {
            log = endings[round];
        } else {
            for (unsigned n = (seed = seed * 1103515245u + 12345u) >> 16 & 63; n > 0; --n) {
                seed = seed * 1103515245u + 12345u;
                log += (seed >> 20) & 1 ? endings[(seed >> 8) % 12] : std::string(1, static_cast<char>(seed >> 12));
            }
        }
        char* start = pages + page - log.size();
        memcpy(start, log.data(), log.size());
        std::vector<std::string> working = list;
        AnalyzeInstallLog(start, log.size(), working, probe, [](const std::string&) {});
    }
    // An empty log at the very end of the page, too.
    std::vector<std::string> working = list;
    const LogAnalysisResult none = AnalyzeInstallLog(pages + page, 0, working, probe, [](const std::string&) {});
    EXPECT_FALSE(none.restartNeeded || none.listChanged);
    VirtualFree(pages, 0, MEM_RELEASE);
}

// On a double-byte system (the Japanese run) the second byte of a character is never
// the start of a prefix, even when it is an "F"; elsewhere the same bytes hold one.
TEST(LogScan, SecondBytesOfCharactersStartNoPrefix)
{
    const bool doubleByte = _getmbcp() == 932;
    char locale[32] = {};
    if (GetEnvironmentVariableA("KSINST_LOCALE", locale, sizeof(locale))) {
        EXPECT_TRUE(doubleByte) << "the Japanese run has code page 932";
    }
    struct Case {
        const char* log;
        bool inJapanese;  // whether the pair is removed on the Japanese system
    };
    const Case cases[] = {
        {"\x83" "File Copy: C:\\App\\a.dll\n", false},  // 0x83 0x46 is one character
        {"\x83\x83" "File Copy: C:\\App\\a.dll\n", true},
        {"\x83\x40 File Copy: C:\\App\\a.dll", true},
        {"\x83", false},
    };
    for (const Case& c : cases) {
        FakeProbe probe;
        probe.files = {"c:\\app\\a.dll"};
        std::vector<std::string> list = {"NUL", "C:\\APP\\A.DLL"};
        const LogAnalysisResult result =
            AnalyzeInstallLog(c.log, strlen(c.log), list, probe, [](const std::string&) {});
        const bool removedAnywhere = strlen(c.log) > 1;
        EXPECT_EQ(result.listChanged, doubleByte ? c.inJapanese : removedAnywhere) << c.log;
    }
}

}  // namespace
