// What the removal tests share: a sample product installed below the test's scratch
// folder (the module and its configuration), its own temporary folder that receives the
// log and the running-temp copy, the real rundll32 host, message boxes answered by a
// thread of the test, and the hand-over variables.
#pragma once

#include "frame/log.h"
#include "support/restart_lists.h"
#include "support/test_env.h"
#include "support/test_thread.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kstest {

constexpr char kLogHeader[] = "ERRORS_ONLY=0\nMAX_SIZE=0\nAPPEND=1\n";

// The paths of the names in `folder` that match `pattern` ("*" and "?", case ignored).
inline std::vector<std::string> NamesLike(const std::string& folder, const char* pattern)
{
    std::vector<std::string> names;
    for (const std::string& name : FolderNames(folder))
        if (PathMatchSpecA(name.c_str(), pattern))
            names.push_back(folder + "\\" + name);
    return names;
}

// The log entries ("LEVEL message") of every KSInst*.log in `folder`, file by file.
inline std::vector<std::string> LogEntriesIn(const std::string& folder)
{
    std::vector<std::string> entries;
    for (const std::string& path : NamesLike(folder, "KSInst*.log")) {
        const std::vector<std::string> found = LogEntriesOf(ReadFile(path));
        entries.insert(entries.end(), found.begin(), found.end());
    }
    return entries;
}

// The log of the module's code linked into this test program: started once, in
// C:\kstest\<program>\objects-log, at every level.
inline std::string StartLinkedLog()
{
    static const std::string folder = [] {
        const std::string path = "C:\\kstest\\" + ExeTitle() + "\\objects-log";
        RemoveTestTree(path);
        MakeFile(path + "\\KSInst.log", kLogHeader);
        g_Log.Start(path.c_str(), "KSInst");
        return path;
    }();
    return folder;
}
inline std::vector<std::string> LinkedLogEntries() { return LogEntriesIn(StartLinkedLog()); }

// Sets a variable of this process's environment (null: removes it) and puts the old
// value back at the end (an empty one as absent).
struct ScopedEnv {
    ScopedEnv(const char* name, const char* value) : name(name), old(Environment(name)) { SetEnvironmentVariableA(name, value); }
    ~ScopedEnv() { SetEnvironmentVariableA(name.c_str(), old.empty() ? nullptr : old.c_str()); }
    const std::string name, old;
};

// C:\kstest\<program>\<name>: the module copied to "prog dir\KSInst.dll" (a folder with a
// space), its configuration files written beside it, and "tmp" as the temporary folder
// of every process the test starts. Every log of the module goes to tmp at every level.
// The hand-over variables are cleared before and after.
class SampleProduct {
public:
    explicit SampleProduct(const std::string& name) : folder_(name)
    {
        ClearHandOver();
        CopyFileA(ModuleUnderTest::Path().c_str(), folder_.MakeFolder("prog dir").append("\\KSInst.dll").c_str(), FALSE);
        folder_.MakeFile("tmp\\KSInst.log", kLogHeader);
    }
    ~SampleProduct() { Unload(); ClearHandOver(); }

    const ScratchFolder& Folder() const { return folder_; }
    std::string ProductFolder() const { return folder_ / "prog dir"; }
    std::string ModulePath() const { return folder_ / "prog dir\\KSInst.dll"; }
    std::string TempFolder() const { return folder_ / "tmp"; }
    // `name` (KSCommon.cfg: the product's, KSInst.cfg: the module's) in the product folder.
    void WriteCfg(const char* name, const std::string& text) const { WriteFile(ProductFolder() + "\\" + name, text); }

    // The module loaded into this process, its log in tmp (from a variable the module
    // reads when it is loaded); unloaded by the destructor.
    HMODULE Load()
    {
        if (!module_) {
            SetEnvironmentVariableA(ProcessVariable("Velmo:CVLog:Dir:0x").c_str(), TempFolder().c_str());
            module_ = LoadLibraryA(ModulePath().c_str());
        }
        return module_;
    }
    void Unload()
    {
        FreeLibrary(module_);  // none: does nothing
        module_ = nullptr;
        SetEnvironmentVariableA(ProcessVariable("Velmo:CVLog:Dir:0x").c_str(), nullptr);
    }
    template <typename F>
    F Export(const char* name)
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Load(), name)));
    }

    // rundll32.exe "<module>",ExUninstall <switches>, as the system's list of programs
    // starts it, with tmp as its temporary folder; waits (bounded) for it and for the
    // processes it started. False when one of them was still running.
    bool RunThroughHost(const std::string& switches, DWORD timeoutMs = 60000) const
    {
        const ScopedEnv tmp("TMP", TempFolder().c_str()), temp("TEMP", TempFolder().c_str());
        return RunAndWait(SystemFolder() + "\\rundll32.exe \"" + ModulePath() + "\",ExUninstall " + switches, timeoutMs, true);
    }

    // Every log entry written so far into tmp, file by file; the running-temp copies there.
    std::vector<std::string> LogEntries() const { return LogEntriesIn(TempFolder()); }
    std::vector<std::string> RunningTempCopies() const { return NamesLike(TempFolder(), "KSR*.tmp"); }

private:
    static void ClearHandOver()
    {
        for (const char* name : {"KSREMOVE_APPNAME", "KSREMOVE_DELFILE", "KSREMOVE_DELDIR", "KSREMOVE_REBOOT"})
            SetEnvironmentVariableA(name, nullptr);
    }

    ScratchFolder folder_;
    HMODULE module_ = nullptr;
};
// A thread that answers every message box with `caption` (of any process) until it is
// stopped: Yes on a Yes/No box, `okCancelAnswer` on an OK/Cancel box (the restart
// question: Cancel, since OK would restart the prefix), OK on an OK box.
class BoxAnswerer {
public:
    explicit BoxAnswerer(const std::string& caption, int okCancelAnswer = IDCANCEL)
        : thread_([this, caption, okCancelAnswer] {
              // A safeguard: no test waits for its boxes longer than this.
              for (const DWORD start = GetTickCount(); !stop_ && GetTickCount() - start < 120000; Sleep(20)) {
                  HWND box = FindWindowA("#32770", caption.c_str());
                  char text[1024] = {};
                  GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
                  const int answer = GetDlgItem(box, IDYES) ? IDYES : GetDlgItem(box, IDCANCEL) ? okCancelAnswer : IDOK;
                  if (!box || !PostMessageA(box, WM_COMMAND, answer, 0))
                      continue;
                  texts_.push_back(text);
                  WaitUntil([&] { return !IsWindow(box); }, 10000);
              }
          })
    {
    }
    ~BoxAnswerer() { Stop(); }
    // Stops the thread (a box open at that moment is still answered first) and returns
    // the texts of the boxes answered, in order.
    std::vector<std::string> Stop()
    {
        stop_ = true;
        thread_.Join();
        return texts_;
    }
    // After Stop: the last text, or empty.
    std::string Text() const { return texts_.empty() ? std::string() : texts_.back(); }

private:
    volatile bool stop_ = false;
    std::vector<std::string> texts_;  // written by the thread only
    Thread thread_;                   // last: starts once everything above exists
};

// How many of `entries` equal `entry`, or with `prefix` begin with it.
inline size_t CountEntries(const std::vector<std::string>& entries, const std::string& entry, bool prefix = false)
{
    return std::count_if(entries.begin(), entries.end(), [&](const std::string& e) {
        return prefix ? e.compare(0, entry.size(), entry) == 0 : e == entry;
    });
}

}  // namespace kstest
