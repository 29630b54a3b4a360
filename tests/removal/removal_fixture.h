// What the removal tests share: a sample product installed below the test's scratch
// folder (the module and its configuration), its own temporary folder that receives the
// log and the running-temp copy, the real rundll32 host, message boxes answered by a
// thread of the test, and the system's list of deletions at restart.
#pragma once

#include "support/test_env.h"
#include "support/test_thread.h"

#include <windows.h>

#include <string>
#include <vector>

namespace kstest {

// C:\kstest\<program>\<name>: the module copied to "prog dir\KSInst.dll" (a folder with a
// space), its configuration files written beside it, and "tmp" as the temporary folder
// of every process the test starts. Every log of the module goes to tmp at every level.
class SampleProduct {
public:
    explicit SampleProduct(const std::string& name);
    ~SampleProduct();
    SampleProduct(const SampleProduct&) = delete;
    SampleProduct& operator=(const SampleProduct&) = delete;

    const ScratchFolder& Folder() const { return folder_; }
    std::string ProductFolder() const { return folder_ / "prog dir"; }
    std::string ModulePath() const { return folder_ / "prog dir\\KSInst.dll"; }
    std::string TempFolder() const { return folder_ / "tmp"; }
    // prog dir\KSCommon.cfg (the product's) and prog dir\KSInst.cfg (the module's).
    void WriteProductCfg(const std::string& text) const;
    void WriteModuleCfg(const std::string& text) const;

    // The module loaded into this process (its log in tmp); unloaded by the destructor.
    HMODULE Load();
    void Unload();
    template <typename F>
    F Export(const char* name)
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Load(), name)));
    }
    // ExUninstall of the loaded module, in this process.
    void ExUninstall(const char* commandLine);

    // rundll32.exe "<module>",ExUninstall <switches>, as the system's list of programs
    // starts it, with tmp as its temporary folder; waits (bounded) for it and for the
    // processes it started. False when one of them was still running.
    bool RunThroughHost(const std::string& switches, DWORD timeoutMs = 60000);

    // Every log entry written so far into tmp, "LEVEL message", file by file.
    std::vector<std::string> LogEntries() const;
    // The files of tmp named like the running-temp copy (KSR*.tmp).
    std::vector<std::string> RunningTempCopies() const;

private:
    ScratchFolder folder_;
    HMODULE module_ = nullptr;
};

// Sets a variable of this process's environment (null: removes it) and puts the old
// value back at the end.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// Clears the uninstaller's hand-over variables now and again at the end.
class HandOverCleared {
public:
    HandOverCleared() { Clear(); }
    ~HandOverCleared() { Clear(); }
    static void Clear();
};

// A thread that answers every message box with `caption` (of any process) until it is
// stopped: Yes on a Yes/No box, `okCancelAnswer` on an OK/Cancel box (the restart
// question: Cancel, since OK would restart the prefix), OK on an OK box. It notes each
// box's text in order.
class BoxAnswerer {
public:
    explicit BoxAnswerer(const std::string& caption, int okCancelAnswer = IDCANCEL);
    // Stops the thread (a box open at that moment is still answered first).
    ~BoxAnswerer() { Stop(); }
    void Stop();
    bool Answered() const { return !Texts().empty(); }
    // The texts of the boxes answered so far; the last one, or empty.
    std::vector<std::string> Texts() const;
    std::string Text() const;

private:
    void Run();

    std::string caption_;
    int okCancelAnswer_;
    struct Lock {
        Lock() { InitializeCriticalSection(&section); }
        ~Lock() { DeleteCriticalSection(&section); }
        CRITICAL_SECTION section;
    };

    volatile bool stop_ = false;
    mutable Lock lock_;
    std::vector<std::string> texts_;
    Thread thread_;  // last: starts once everything above exists
};

// The deletions at restart listed now at or below `folder`, without the "\??\" prefix.
std::vector<std::string> PendingDeletionsBelow(const std::string& folder);

// Runs wineboot's restart in the prefix: the pending deletions are carried out.
bool SimulateRestart();

// The log entries of every KSInst*.log in `folder`, "LEVEL message", file by file.
std::vector<std::string> LogEntriesIn(const std::string& folder);

// The names of a folder's entries ("." and ".." left out).
std::vector<std::string> ListFolderNames(const std::string& folder);

// The log of the module's code linked into this test program: started once, in
// C:\kstest\<program>\objects-log, at every level.
void StartLinkedLog();
std::vector<std::string> LinkedLogEntries();

// How many of `entries` equal `entry`.
size_t CountEntries(const std::vector<std::string>& entries, const std::string& entry);

}  // namespace kstest
