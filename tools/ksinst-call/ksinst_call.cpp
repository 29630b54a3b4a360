// ksinst-call: loads KSInst.dll and calls one export with the given arguments, as an
// installation script would, then prints the result.
//
//   ksinst-call [--dll PATH] EXPORT [ARG ...]
//   ksinst-call --help
//
// Text arguments are passed as ANSI strings, number arguments as 32-bit values
// (decimal, or hexadecimal with 0x); "@null" passes a null pointer for either.
#include "export_table.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kNull[] = "@null";

using Call0 = DWORD(WINAPI*)();
using Call1 = DWORD(WINAPI*)(DWORD);
using Call2 = DWORD(WINAPI*)(DWORD, DWORD);
using Call3 = DWORD(WINAPI*)(DWORD, DWORD, DWORD);
using Call4 = DWORD(WINAPI*)(DWORD, DWORD, DWORD, DWORD);
using Call5 = DWORD(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD);

void PrintHelp()
{
    printf("usage: ksinst-call [--dll PATH] EXPORT [ARG ...]\n"
           "Calls one export of KSInst.dll (default: the one beside this program) and prints\n"
           "its result. Texts are passed as given, numbers as decimal or 0x hexadecimal,\n"
           "and %s passes a null pointer.\n\nExports:\n",
           kNull);
    size_t count = 0;
    const ExportShape* shapes = ExportShapes(&count);
    for (size_t i = 0; i < count; ++i)
        printf("  @%-3d %-28s %s\n", shapes[i].ordinal, shapes[i].name, shapes[i].usage);
}

bool ParseNumber(const char* text, DWORD* value)
{
    char* end = nullptr;
    long long parsed = strtoll(text, &end, 0);
    if (!*text || *end)
        return false;
    *value = static_cast<DWORD>(parsed);
    return true;
}

std::string DefaultModulePath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\') + 1) + "KSInst.dll";
}

DWORD Invoke(FARPROC entry, const std::vector<DWORD>& a)
{
    switch (a.size()) {
    case 0: return reinterpret_cast<Call0>(entry)();
    case 1: return reinterpret_cast<Call1>(entry)(a[0]);
    case 2: return reinterpret_cast<Call2>(entry)(a[0], a[1]);
    case 3: return reinterpret_cast<Call3>(entry)(a[0], a[1], a[2]);
    case 4: return reinterpret_cast<Call4>(entry)(a[0], a[1], a[2], a[3]);
    default: return reinterpret_cast<Call5>(entry)(a[0], a[1], a[2], a[3], a[4]);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    int next = 1;
    std::string modulePath = DefaultModulePath();
    if (next + 1 < argc && strcmp(argv[next], "--dll") == 0) {
        modulePath = argv[next + 1];
        next += 2;
    }
    if (next >= argc || strcmp(argv[next], "--help") == 0 || strcmp(argv[next], "-h") == 0) {
        PrintHelp();
        return next >= argc ? 2 : 0;
    }
    const char* exportName = argv[next++];
    const ExportShape* shape = FindExportShape(exportName);
    if (!shape) {
        fprintf(stderr, "ksinst-call: %s is not an export of KSInst.dll (see --help)\n", exportName);
        return 2;
    }
    const int given = argc - next;
    if (given != shape->argCount) {
        fprintf(stderr, "ksinst-call: %s takes %d argument(s): %s\n", shape->name, shape->argCount, shape->usage);
        return 2;
    }
    std::vector<DWORD> args;
    for (int i = 0; i < given; ++i) {
        const char* text = argv[next + i];
        DWORD value = 0;
        if (strcmp(text, kNull) == 0)
            value = 0;
        else if (shape->args[i] == ArgKind::Text)
            value = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(text));
        else if (!ParseNumber(text, &value)) {
            fprintf(stderr, "ksinst-call: argument %d of %s must be a number: %s\n", i + 1, shape->name, text);
            return 2;
        }
        args.push_back(value);
    }

    HMODULE module = LoadLibraryA(modulePath.c_str());
    if (!module) {
        fprintf(stderr, "ksinst-call: cannot load %s (error %lu)\n", modulePath.c_str(), GetLastError());
        return 3;
    }
    FARPROC entry = GetProcAddress(module, shape->name);
    if (!entry) {
        fprintf(stderr, "ksinst-call: %s does not export %s in this build\n", modulePath.c_str(), shape->name);
        FreeLibrary(module);
        return 3;
    }
    DWORD result = Invoke(entry, args);
    switch (shape->result) {
    case ResultKind::Text: {
        const char* text = reinterpret_cast<const char*>(static_cast<UINT_PTR>(result));
        printf("%s\n", text ? text : "(null)");
        break;
    }
    case ResultKind::Number16:
        result &= 0xFFFF;
        printf("%lu (0x%04lX)\n", result, result);
        break;
    case ResultKind::Number:
        printf("%ld (0x%08lX)\n", static_cast<long>(result), result);
        break;
    case ResultKind::None:
        printf("(no result)\n");
        break;
    }
    FreeLibrary(module);
    return 0;
}
