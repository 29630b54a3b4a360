// Deleting and counting a tree of 10,000 files in 500 folders: DeleteTree beside
// "cmd /c rmdir /s /q" and SHFileOperationA, and KSWGetDirContent's count beside a plain
// FindFirstFile walk. Every contender gets an identical, freshly made tree; each figure
// is the best of several rounds.
#include "bench_common.h"

#include "platform/delete_tree.h"
#include "platform/folder_list.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kTopFolders = 20;
constexpr int kSubFolders = 24;  // 20 + 20 * 24 = 500 folders
constexpr int kFilesPerFolder = 20;  // 500 * 20 = 10,000 files
constexpr int kRounds = 3;
constexpr int kCountRepeats = 6;  // per round, alternating which count goes first

void MakeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, "data", 4, &written, nullptr);
    CloseHandle(file);
}

void MakeFiles(const std::string& folder)
{
    for (int i = 0; i < kFilesPerFolder; ++i) {
        char name[32];
        wsprintfA(name, "\\file%02d.dat", i);
        MakeFile(folder + name);
    }
}

// 500 folders in two levels, 20 files in each.
void MakeTree(const std::string& root)
{
    CreateDirectoryA(root.c_str(), nullptr);
    for (int top = 0; top < kTopFolders; ++top) {
        char name[32];
        wsprintfA(name, "\\folder%02d", top);
        const std::string folder = root + name;
        CreateDirectoryA(folder.c_str(), nullptr);
        MakeFiles(folder);
        for (int sub = 0; sub < kSubFolders; ++sub) {
            wsprintfA(name, "\\sub%02d", sub);
            const std::string inner = folder + name;
            CreateDirectoryA(inner.c_str(), nullptr);
            MakeFiles(inner);
        }
    }
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool RunCommand(const std::string& commandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info))
        return false;
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

bool ShellDelete(const std::string& path)
{
    const std::string from = path + std::string(1, '\0');
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    return SHFileOperationA(&operation) == 0;
}

// What a caller without the module would write: every entry counted, every folder entered.
long PlainCount(const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    long count = 0;
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0)
            continue;
        ++count;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            count += PlainCount(folder + "\\" + entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return count;
}

struct Contender {
    const char* name;
    bool (*remove)(const std::string& path);
};

bool ByDeleteTree(const std::string& path) { return DeleteTree(path, 0, nullptr, nullptr, 500) == ERROR_SUCCESS; }
bool ByRmdir(const std::string& path) { return RunCommand("cmd.exe /c rmdir /s /q \"" + path + "\""); }
bool ByShell(const std::string& path) { return ShellDelete(path); }

}  // namespace

int main()
{
    const std::string root = bench::ScratchFolder("delete_tree");
    const std::string tree = root + "\\tree";
    const Contender contenders[] = {
        {"delete_tree.DeleteTree", ByDeleteTree},
        {"delete_tree.cmd_rmdir", ByRmdir},
        {"delete_tree.SHFileOperationA", ByShell},
    };
    std::vector<double> best(3, 1e9);
    double countBest = 1e9, plainBest = 1e9;
    long counted = 0, plainCounted = 0;
    double makeSeconds = 0;

    for (int round = 0; round < kRounds; ++round) {
        // Counting on a fresh tree, then every deleter on a fresh tree of its own; the
        // order of the deleters turns each round so none always runs first.
        MakeTree(tree);
        double start = 0;
        for (int repeat = 0; repeat < kCountRepeats; ++repeat) {
            const bool plainFirst = repeat % 2 == 1;
            for (int turn = 0; turn < 2; ++turn) {
                start = bench::Now();
                if ((turn == 0) != plainFirst) {
                    counted = CountFolderEntries(tree, true, "*.*");
                    countBest = std::min(countBest, bench::Now() - start);
                } else {
                    plainCounted = PlainCount(tree);
                    plainBest = std::min(plainBest, bench::Now() - start);
                }
            }
        }
        ShellDelete(tree);

        for (int i = 0; i < 3; ++i) {
            const int which = (i + round) % 3;
            start = bench::Now();
            MakeTree(tree);
            makeSeconds = bench::Now() - start;
            start = bench::Now();
            const bool ok = contenders[which].remove(tree);
            const double seconds = bench::Now() - start;
            if (!ok || Exists(tree)) {
                printf("%s left the tree in place\n", contenders[which].name);
                ShellDelete(tree);
                continue;
            }
            printf("round %d: %-30s %8.3f s (tree made in %.3f s)\n", round + 1, contenders[which].name, seconds,
                   makeSeconds);
            best[which] = std::min(best[which], seconds);
        }
    }

    printf("%-32s %10s\n", "tree of 10,000 files, 500 folders", "best of 3");
    for (int i = 0; i < 3; ++i)
        printf("%-32s %9.3f s\n", contenders[i].name, best[i]);
    printf("%-32s %9.3f s (%ld entries)\n", "count: CountFolderEntries", countBest, counted);
    printf("%-32s %9.3f s (%ld entries)\n", "count: plain FindFirstFile walk", plainBest, plainCounted);
    for (int i = 0; i < 3; ++i)
        bench::Report(contenders[i].name, best[i], "s");
    bench::Report("delete_tree.count.KSWGetDirContent", countBest, "s");
    bench::Report("delete_tree.count.plain_walk", plainBest, "s");
    ShellDelete(root);
    return 0;
}
