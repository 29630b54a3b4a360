// What the tests share: scratch folders inside the Wine prefix, file helpers, the
// module loaded through its export table, test registry keys and helper processes.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace kstest {

// A base for the owners of handles, keys, processes and folders below: never copied.
struct Uncopyable {
    Uncopyable() = default;
    Uncopyable(const Uncopyable&) = delete;
    Uncopyable& operator=(const Uncopyable&) = delete;
};

// Folder and file name (without ".exe") of the running test program.
std::string ExeFolder();
std::string ExeTitle();

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// The names in a folder (without "." and ".."), sorted; none when it cannot be listed.
std::vector<std::string> FolderNames(const std::string& folder);
// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);
// The entries of a module log's text, each as its level, a blank and its message.
std::vector<std::string> LogEntriesOf(const std::string& log);
// Makes `path` and every missing folder above it; MakeFile also writes the file. Each
// returns `path`.
std::string MakeFolders(const std::string& path);
std::string MakeFile(const std::string& path, const std::string& bytes = "x");
// Deletes `path` with everything below it (read-only and hidden entries included), but
// only when it is `root` or lies below it and `root` is more than a drive.
void RemoveTreeWithin(const std::string& path, const std::string& root);
// The same within C:\kstest, and never C:\kstest itself.
void RemoveTestTree(const std::string& path);

// Registry values on raw keys, so that what a test arranges or reads does not depend on
// the code under test. A missing value reads as `missing`.
void SetStringValue(HKEY root, const std::string& key, const char* name, const std::string& text);
std::string GetStringValue(HKEY root, const std::string& key, const char* name, const std::string& missing = "");
void SetDWordValue(HKEY root, const std::string& key, const char* name, DWORD value);
DWORD GetDWordValue(HKEY root, const std::string& key, const char* name, DWORD missing);
void DeleteValue(HKEY root, const std::string& key, const char* name);
bool RegKeyExists(HKEY root, const std::string& key);

// What the system itself says, never what the module under test makes of it: the
// running family, the short form of an existing path (the path itself when it has none), and the
// name of a per-process variable, `prefix` followed by the process id in hexadecimal.
bool NtFamily();
std::string WindowsFolder();
std::string SystemFolder();
// The variable's value; empty when it is not set or too long for MAX_PATH.
std::string Environment(const char* name);
std::string ShortPath(const std::string& path);
std::string ProcessVariable(const char* prefix);
// The running family's profile list, below HKEY_LOCAL_MACHINE. AddProfileEntry lists
// `sid` with its folder and flags; RemoveProfileEntry takes the entry out again, and the
// user's key below HKEY_USERS with it.
std::string ProfileListKey();
void AddProfileEntry(const std::string& sid, const std::string& folder, DWORD flags = 0);
void RemoveProfileEntry(const std::string& sid);
// Runs `line` and waits for it (with `children`, also for every process it started) at
// most `timeoutMs` each; false when one of them did not end.
bool RunAndWait(const std::string& line, DWORD timeoutMs, bool children);

// Hive files for extra users: SaveHive writes HKEY_CURRENT_USER\<sourceKey> (made when
// missing) to `file`, replacing it, its folders made; LoadHive loads `file` as
// HKEY_USERS\<name>. Each enables the privilege it needs; true on success.
bool SaveHive(const std::string& sourceKey, const std::string& file);
bool LoadHive(const std::string& name, const std::string& file);

// A fresh folder C:\kstest\<program>\<name>, removed again at the end.
class ScratchFolder : Uncopyable {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();

    const std::string& Path() const { return path_; }
    // path + "\" + relative
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }
    // Creates a file (and its folders) below the scratch folder; returns its path.
    std::string MakeFile(const std::string& relative, const std::string& bytes = "x") const
    {
        return kstest::MakeFile(*this / relative, bytes);
    }
    std::string MakeFolder(const std::string& relative) const { return MakeFolders(*this / relative); }

private:
    std::string path_;
};

// KSInst.dll, loaded from beside the test program and freed at the end.
class ModuleUnderTest : Uncopyable {
public:
    ModuleUnderTest();
    ~ModuleUnderTest();

    HMODULE Handle() const { return module_; }
    static std::string Path();
    template <typename F>
    F Export(const char* name) const
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    // The export `name`, exported at `ordinal` too when that is not 0; when it is not,
    // throws, which fails the test.
    template <typename F>
    F Require(const char* name, WORD ordinal = 0) const
    {
        const F found = Export<F>(name);
        if (!found || (ordinal && reinterpret_cast<FARPROC>(found) != GetProcAddress(module_, MAKEINTRESOURCEA(ordinal))))
            throw std::runtime_error(std::string("not exported as expected: ") + name);
        return found;
    }
    void Unload();

private:
    HMODULE module_ = nullptr;
};

// HKEY_CURRENT_USER\Software\KSInstTest\<program>\<name>, deleted before and after.
class TestRegKey : Uncopyable {
public:
    explicit TestRegKey(const std::string& name, HKEY root = HKEY_CURRENT_USER);
    ~TestRegKey();

    const std::string& Path() const { return path_; }

private:
    HKEY root_;
    std::string path_;
};

// kshelper.exe, beside the test program.
std::string HelperPath();

// A second process, kshelper.exe run with `arguments` and the name of a release event,
// that holds what it was asked to hold until this object is destroyed.
class HelperHold : Uncopyable {
public:
    explicit HelperHold(const std::string& arguments);
    ~HelperHold();

    bool Holding() const { return holding_; }

private:
    HANDLE process_ = nullptr, release_ = nullptr;
    bool holding_ = false;
};

// Holds a file open without sharing (or with `share`).
struct FileHolder : HelperHold {
    explicit FileHolder(const std::string& path, DWORD share = 0)
        : HelperHold("hold \"" + path + "\" " + std::to_string(share)) {}
};

}  // namespace kstest
