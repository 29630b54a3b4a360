// A silent one-process removal of a sample product of 2,000 files in 100 folders, beside
// a bare DeleteTree of an identical folder (the floor). The module is loaded from a
// folder of its own, so nothing of the product is in use and no wait for a file, a stop
// program or the progress bar is part of the figure. Each figure is the best of several
// rounds, each round on a freshly made tree.
#include "bench_common.h"

#include "platform/delete_tree.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 20;  // 2,000 files
constexpr int kRounds = 3;

void MakeFile(const std::string& path, const char* text = "data")
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(file);
}

void MakeProduct(const std::string& root)
{
    CreateDirectoryA(root.c_str(), nullptr);
    for (int folder = 0; folder < kFolders; ++folder) {
        char name[32];
        wsprintfA(name, "\\folder%03d", folder);
        const std::string path = root + name;
        CreateDirectoryA(path.c_str(), nullptr);
        for (int file = 0; file < kFilesPerFolder; ++file) {
            wsprintfA(name, "\\file%02d.dat", file);
            MakeFile(path + name);
        }
    }
    const std::string cfg = "[General]\r\nPath=" + root + "\r\nAppTitle=Bench App\r\nObjectPrefix=KSBenchRemoval\r\n[]\r\n";
    MakeFile(root + "\\KSCommon.cfg", cfg.c_str());
}

void ClearHandOver()
{
    for (const char* name : {"KSREMOVE_APPNAME", "KSREMOVE_DELFILE", "KSREMOVE_DELDIR", "KSREMOVE_REBOOT"})
        SetEnvironmentVariableA(name, nullptr);
}

std::string ModuleBesideProgram()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\')) + "\\KSInst.dll";
}

}  // namespace

int main()
{
    using Entry = void(WINAPI*)(HWND, HINSTANCE, char*, int);
    const std::string scratch = bench::ScratchFolder("removal");
    const std::string module = scratch + "\\module\\KSInst.dll";
    CreateDirectoryA((scratch + "\\module").c_str(), nullptr);
    if (!CopyFileA(ModuleBesideProgram().c_str(), module.c_str(), FALSE)) {
        printf("removal: KSInst.dll not found beside the benchmark\n");
        return 1;
    }
    double removalBest = 1e9, floorBest = 1e9;
    bool complete = true;
    for (int round = 0; round < kRounds; ++round) {
        const std::string product = scratch + "\\product";
        MakeProduct(product);
        ClearHandOver();
        HMODULE loaded = LoadLibraryA(module.c_str());
        const Entry entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(loaded, "ExUninstall")));
        std::string line = "/oneprocess /s \"/cfg=" + product + "\\KSCommon.cfg\"";
        double start = bench::Now();
        if (entry)
            entry(nullptr, nullptr, &line[0], SW_SHOWNORMAL);
        removalBest = std::min(removalBest, bench::Now() - start);
        FreeLibrary(loaded);
        complete = complete && entry && GetFileAttributesA(product.c_str()) == INVALID_FILE_ATTRIBUTES;

        MakeProduct(product);
        start = bench::Now();
        DeleteTree(product, 0, nullptr, nullptr, 500);
        floorBest = std::min(floorBest, bench::Now() - start);
    }
    ClearHandOver();
    printf("%-40s %9.3f s%s\n", "one-process silent removal", removalBest, complete ? "" : " (product left!)");
    printf("%-40s %9.3f s\n", "floor: DeleteTree of the same folder", floorBest);
    printf("%-40s %9.3f s (aim: at most 2 x floor + 0.5 s = %.3f s)\n", "removal - floor", removalBest - floorBest,
           2 * floorBest + 0.5);
    bench::Report("removal.one_process", removalBest, "s");
    bench::Report("removal.floor.delete_tree", floorBest, "s");
    return complete ? 0 : 1;
}
