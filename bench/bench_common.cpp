#include "bench_common.h"

#include <shellapi.h>

#include <cstdio>

namespace bench {

double Now()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Report(const std::string& name, double value, const char* unit)
{
    printf("BENCH %s %.3f %s\n", name.c_str(), value, unit);
    fflush(stdout);
}

std::string ScratchFolder(const std::string& name)
{
    CreateDirectoryA("C:\\ksbench", nullptr);
    std::string path = "C:\\ksbench\\" + name;
    // Double-zero terminated, as the shell's file operation wants it.
    std::string from = path + std::string(1, '\0');
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&operation);
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

}  // namespace bench
