#include "removal/removal_fixture.h"

#include "frame/log.h"

#include <tlhelp32.h>


namespace kstest {

namespace {

constexpr char kLogHeader[] = "ERRORS_ONLY=0\nMAX_SIZE=0\nAPPEND=1\n";
constexpr char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && lstrcmpiA(text.substr(0, prefix.size()).c_str(), prefix.c_str()) == 0;
}

// Runs `line` and waits for it at most `timeoutMs`; false when it did not end.
bool RunAndWait(const std::string& line, DWORD timeoutMs, DWORD* pid = nullptr)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    if (pid)
        *pid = info.dwProcessId;
    const bool ended = WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(info.hProcess);
    return ended;
}

// Waits for every process that `parent` started; false when one still runs at the end.
bool WaitForChildren(DWORD parent, DWORD timeoutMs)
{
    std::vector<HANDLE> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID != parent)
            continue;
        if (HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID))
            children.push_back(child);
    }
    CloseHandle(snapshot);
    bool ended = true;
    for (HANDLE child : children) {
        ended = WaitForSingleObject(child, timeoutMs) == WAIT_OBJECT_0 && ended;
        CloseHandle(child);
    }
    return ended;
}

}  // namespace

SampleProduct::SampleProduct(const std::string& name) : folder_(name)
{
    folder_.MakeFolder("prog dir");
    folder_.MakeFolder("tmp");
    CopyFileA(ModuleUnderTest::Path().c_str(), ModulePath().c_str(), FALSE);
    WriteFile(folder_ / "tmp\\KSInst.log", kLogHeader);
}

SampleProduct::~SampleProduct() { Unload(); }

void SampleProduct::WriteProductCfg(const std::string& text) const { WriteFile(folder_ / "prog dir\\KSCommon.cfg", text); }
void SampleProduct::WriteModuleCfg(const std::string& text) const { WriteFile(folder_ / "prog dir\\KSInst.cfg", text); }

HMODULE SampleProduct::Load()
{
    if (!module_) {
        // The module reads its log folder from this variable when it is loaded.
        SetEnvironmentVariableA(ProcessVariable("Velmo:CVLog:Dir:0x").c_str(), TempFolder().c_str());
        module_ = LoadLibraryA(ModulePath().c_str());
    }
    return module_;
}

void SampleProduct::Unload()
{
    if (module_)
        FreeLibrary(module_);
    module_ = nullptr;
    SetEnvironmentVariableA(ProcessVariable("Velmo:CVLog:Dir:0x").c_str(), nullptr);
}

void SampleProduct::ExUninstall(const char* commandLine)
{
    using Entry = void(WINAPI*)(HWND, HINSTANCE, char*, int);
    const Entry entry = Export<Entry>("ExUninstall");
    if (!entry)
        return;
    std::vector<char> line;
    if (commandLine)
        line.assign(commandLine, commandLine + strlen(commandLine) + 1);
    entry(nullptr, nullptr, commandLine ? line.data() : nullptr, SW_SHOWNORMAL);
}

bool SampleProduct::RunThroughHost(const std::string& switches, DWORD timeoutMs)
{
    const ScopedEnv tmp("TMP", TempFolder().c_str());
    const ScopedEnv temp("TEMP", TempFolder().c_str());
    const std::string line = SystemFolder() + "\\rundll32.exe \"" + ModulePath() + "\",ExUninstall " + switches;
    DWORD pid = 0;
    const bool ended = RunAndWait(line, timeoutMs, &pid);
    return WaitForChildren(pid, timeoutMs) && ended;
}

std::vector<std::string> SampleProduct::LogEntries() const { return LogEntriesIn(TempFolder()); }

std::vector<std::string> LogEntriesIn(const std::string& folder)
{
    std::vector<std::string> entries;
    for (const std::string& name : ListFolderNames(folder)) {
        if (!StartsWithNoCase(name, "KSInst") || name.size() < 4 || lstrcmpiA(name.c_str() + name.size() - 4, ".log"))
            continue;
        const std::vector<std::string> found = LogEntriesOf(ReadFile(folder + "\\" + name));
        entries.insert(entries.end(), found.begin(), found.end());
    }
    return entries;
}

std::vector<std::string> ListFolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    std::string pattern = folder;
    if (pattern.empty() || pattern.back() != '\\')
        pattern += '\\';
    HANDLE find = FindFirstFileA((pattern + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
            names.push_back(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return names;
}

namespace {
std::string LinkedLogFolder() { return "C:\\kstest\\" + ExeTitle() + "\\objects-log"; }
}  // namespace

void StartLinkedLog()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    RemoveTestTree(LinkedLogFolder());
    CreateDirectoryA(("C:\\kstest\\" + ExeTitle()).c_str(), nullptr);
    CreateDirectoryA(LinkedLogFolder().c_str(), nullptr);
    WriteFile(LinkedLogFolder() + "\\KSInst.log", kLogHeader);
    g_Log.Start(LinkedLogFolder().c_str(), "KSInst");
}

std::vector<std::string> LinkedLogEntries() { return LogEntriesIn(LinkedLogFolder()); }

std::vector<std::string> SampleProduct::RunningTempCopies() const
{
    std::vector<std::string> copies;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder_ / "tmp\\KSR*.tmp").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return copies;
    do {
        copies.push_back(folder_ / ("tmp\\" + std::string(entry.cFileName)));
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return copies;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name)
{
    char buffer[4096];
    const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    had_ = length > 0 && length < sizeof(buffer);
    if (had_)
        old_.assign(buffer, length);
    SetEnvironmentVariableA(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }

void HandOverCleared::Clear()
{
    for (const char* name : {"KSREMOVE_APPNAME", "KSREMOVE_DELFILE", "KSREMOVE_DELDIR", "KSREMOVE_REBOOT"})
        SetEnvironmentVariableA(name, nullptr);
}

BoxAnswerer::BoxAnswerer(const std::string& caption, int okCancelAnswer)
    : caption_(caption), okCancelAnswer_(okCancelAnswer), texts_(), thread_([this] { Run(); })
{
}

void BoxAnswerer::Stop()
{
    stop_ = true;
    thread_.Join();
}

void BoxAnswerer::Run()
{
    // A safeguard: no test waits for its boxes longer than this.
    const DWORD start = GetTickCount();
    while (!stop_ && GetTickCount() - start < 120000) {
        HWND box = FindWindowA("#32770", caption_.c_str());
        if (!box) {
            Sleep(20);
            continue;
        }
        char text[1024] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
        const int answer = GetDlgItem(box, IDYES) ? IDYES : GetDlgItem(box, IDCANCEL) ? okCancelAnswer_ : IDOK;
        if (!PostMessageA(box, WM_COMMAND, answer, 0))
            continue;
        EnterCriticalSection(&lock_.section);
        texts_.push_back(text);
        LeaveCriticalSection(&lock_.section);
        for (DWORD waited = 0; IsWindow(box) && waited < 10000; waited += 20)
            Sleep(20);
    }
}

std::vector<std::string> BoxAnswerer::Texts() const
{
    EnterCriticalSection(&lock_.section);
    std::vector<std::string> texts = texts_;
    LeaveCriticalSection(&lock_.section);
    return texts;
}

std::string BoxAnswerer::Text() const
{
    const std::vector<std::string> texts = Texts();
    return texts.empty() ? std::string() : texts.back();
}

std::vector<std::string> PendingDeletionsBelow(const std::string& folder)
{
    std::vector<std::string> found;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return found;
    DWORD size = 0;
    std::vector<char> data;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        data.assign(size + 2, '\0');
        RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data.data()), &size);
    }
    RegCloseKey(key);
    // Pairs of source and target; an empty target is a deletion.
    for (size_t at = 0; at < data.size() && data[at];) {
        std::string source = &data[at];
        at += source.size() + 1;
        const std::string target = at < data.size() ? &data[at] : "";
        at += target.size() + 1;
        if (source.compare(0, 4, "\\??\\") == 0)
            source.erase(0, 4);
        if (target.empty() && StartsWithNoCase(source, folder))
            found.push_back(source);
    }
    return found;
}

bool SimulateRestart() { return RunAndWait(SystemFolder() + "\\wineboot.exe -r", 120000); }

size_t CountEntries(const std::vector<std::string>& entries, const std::string& entry)
{
    size_t count = 0;
    for (const std::string& e : entries)
        count += e == entry ? 1 : 0;
    return count;
}

}  // namespace kstest
