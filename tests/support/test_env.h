// What the tests share: scratch folders inside the Wine prefix, file helpers, the
// module loaded through its export table, test registry keys and helper processes.
#pragma once

#include <windows.h>

#include <string>

namespace kstest {

// Folder and file name (without ".exe") of the running test program.
std::string ExeFolder();
std::string ExeTitle();

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);
// Deletes a tree below C:\kstest only (read-only and hidden entries included).
void RemoveTestTree(const std::string& path);

// What the system itself says, never what the module under test makes of it: the
// running family, the short form of an existing path (the path itself when it has none), and the
// name of a per-process variable, `prefix` followed by the process id in hexadecimal.
bool NtFamily();
std::string ShortPath(const std::string& path);
std::string ProcessVariable(const char* prefix);

// A fresh folder C:\kstest\<program>\<name>, removed again at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    // path + "\" + relative
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }
    // Creates a file (and its folders) below the scratch folder; returns its path.
    std::string MakeFile(const std::string& relative, const std::string& bytes = "x") const;
    std::string MakeFolder(const std::string& relative) const;

private:
    std::string path_;
};

// KSInst.dll, loaded from beside the test program and freed at the end.
class ModuleUnderTest {
public:
    ModuleUnderTest();
    ~ModuleUnderTest();
    ModuleUnderTest(const ModuleUnderTest&) = delete;
    ModuleUnderTest& operator=(const ModuleUnderTest&) = delete;

    HMODULE Handle() const { return module_; }
    static std::string Path();
    template <typename F>
    F Export(const char* name) const
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    void Unload();

private:
    HMODULE module_ = nullptr;
};

// HKEY_CURRENT_USER\Software\KSInstTest\<program>\<name>, deleted before and after.
class TestRegKey {
public:
    explicit TestRegKey(const std::string& name, HKEY root = HKEY_CURRENT_USER);
    ~TestRegKey();
    TestRegKey(const TestRegKey&) = delete;
    TestRegKey& operator=(const TestRegKey&) = delete;

    const std::string& Path() const { return path_; }
    HKEY Root() const { return root_; }

private:
    HKEY root_;
    std::string path_;
};

// Runs kshelper.exe (beside the test program) and waits for it; returns its exit code.
DWORD RunHelper(const std::string& arguments, DWORD timeoutMs = 30000);
std::string HelperPath();

// A second process that holds a file open without sharing (or with `share`) until
// this object is destroyed.
class FileHolder {
public:
    explicit FileHolder(const std::string& path, DWORD share = 0);
    ~FileHolder();
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    bool Holding() const { return holding_; }

private:
    HANDLE process_ = nullptr;
    HANDLE release_ = nullptr;
    bool holding_ = false;
};

}  // namespace kstest
