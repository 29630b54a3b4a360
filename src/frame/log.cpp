#include "frame/log.h"

#include "frame/module.h"
#include "text/format.h"
#include "text/string_ops.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

CVLog g_Log;

namespace {

constexpr char kHeaderSeparator[] = "-------------------------------------------------";
constexpr size_t kHeaderLength = 117;
constexpr size_t kMaxSizeField = 32;

class LockGuard {
public:
    explicit LockGuard(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
    ~LockGuard() { LeaveCriticalSection(&section_); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    CRITICAL_SECTION& section_;
};

class ScopedKey {
public:
    ScopedKey(HKEY root, const char* path)
    {
        if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~ScopedKey()
    {
        if (key_)
            RegCloseKey(key_);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    // Reads four bytes of `name` into `value` whatever the value's type.
    void ReadInto(const std::string& name, DWORD& value) const
    {
        if (!key_)
            return;
        DWORD data = value;
        DWORD size = sizeof(data);
        if (RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) ==
            ERROR_SUCCESS)
            value = data;
    }
    bool IsOpen() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

bool FileExists(const std::string& path, bool* isFolder)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    *isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

// A folder below a drive root can only be created when its parent on the first
// level exists: the log never creates a top-level folder of a drive.
bool MakeLogFolder(const std::string& path)
{
    bool isFolder = false;
    if (FileExists(path, &isFolder))
        return isFolder;
    size_t slash = ReverseFind(path, '\\');
    if (slash == npos || slash <= 2)
        return false;
    if (!MakeLogFolder(path.substr(0, slash)))
        return false;
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

std::string TempFolder()
{
    char buffer[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(sizeof(buffer), buffer);
    std::string folder = (length > 0 && length < sizeof(buffer)) ? std::string(buffer, length) : std::string();
    TrimRight(folder, '\\');
    return folder.empty() ? std::string("C:") : folder;
}

bool StartsWithNoCase(const std::string& line, const char* prefix, std::string* rest)
{
    size_t length = strlen(prefix);
    if (line.size() < length || _strnicmp(line.c_str(), prefix, length) != 0)
        return false;
    *rest = line.substr(length);
    return true;
}

}  // namespace

CVLog::CVLog() { InitializeCriticalSection(&lock_); }

CVLog::~CVLog()
{
    {
        LockGuard guard(lock_);
        file_.Write("\n\nFINISH\t");
        WriteTimestamp();
        file_.Write("\n\n");
        file_.Close();
    }
    DeleteCriticalSection(&lock_);
}

void CVLog::Start(const char* folderArg, const char* baseNameArg)
{
    LockGuard guard(lock_);

    std::string folder = folderArg ? folderArg : "";
    if (folder.empty())
        folder = ReadEnvironmentVariable(ProcessVariableName(kLogDirVariableFormat));
    if (folder.empty() || !MakeLogFolder(folder))
        folder = TempFolder();

    const std::string baseName = (baseNameArg && *baseNameArg) ? baseNameArg : "glog";
    const std::string path = folder + "\\" + baseName + ".log";

    ReadHeaderOptions(path);
    ReadRegistryOptions(baseName);

    // A log that is already open refuses its main name, as the open of a file held by
    // another writer does: the earlier run's file is kept whole and a numbered one
    // takes over. When none opens, writing goes on where it was.
    LogFile opened;
    bool keepContent = false;
    if (!file_.IsOpen() && opened.Open(path, Append)) {
        keepContent = Append;
    } else {
        for (int number = 2; number <= 9; ++number) {
            std::string numbered;
            FormatString(numbered, "%s\\%s_%d.log", folder.c_str(), baseName.c_str(), number);
            if (opened.Open(numbered, false))
                break;
        }
    }
    if (!opened.IsOpen())
        return;
    file_.Swap(opened);
    opened.Close();

    const DWORD oldSize = file_.Size();
    file_.SetPosition(0);
    WriteHeader();
    if (keepContent)
        file_.SetPosition(oldSize > kHeaderLength ? oldSize : static_cast<DWORD>(kHeaderLength));
    else
        file_.Truncate();

    file_.Write("\nSTART\t");
    WriteTimestamp();
}

void CVLog::ReadHeaderOptions(const std::string& path)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return;
    char buffer[100];
    while (fgets(buffer, sizeof(buffer), file)) {
        std::string line(buffer);
        TrimRight(line, "\r\n");
        line.erase(std::remove(line.begin(), line.end(), ' '), line.end());
        std::string rest;
        if (line.empty())
            continue;
        if (StartsWithNoCase(line, "ERRORS_ONLY=", &rest))
            ErrorsOnly = rest == "1";
        else if (StartsWithNoCase(line, "MAX_SIZE=", &rest))
            MaxSize = static_cast<DWORD>(atol(rest.c_str()));
        else if (StartsWithNoCase(line, "APPEND=", &rest))
            Append = rest == "1";
        else
            break;
    }
    fclose(file);
}

void CVLog::ReadRegistryOptions(const std::string& baseName)
{
    const std::string keyPath = ReadEnvironmentVariable(ProcessVariableName(kLogKeyVariableFormat));
    if (keyPath.empty())
        return;
    ScopedKey machine(HKEY_LOCAL_MACHINE, keyPath.c_str());
    ScopedKey user(HKEY_CURRENT_USER, keyPath.c_str());
    if (!machine.IsOpen() && !user.IsOpen())
        return;

    // Later sources win: machine, user, then both again with the base name appended.
    auto read = [&](const char* name, DWORD& value) {
        const std::string named = std::string(name) + baseName;
        machine.ReadInto(name, value);
        user.ReadInto(name, value);
        machine.ReadInto(named, value);
        user.ReadInto(named, value);
    };
    DWORD errorsOnly = ErrorsOnly ? 1 : 0;
    DWORD maxSize = MaxSize;
    DWORD append = Append ? 1 : 0;
    read("ERRORS_ONLY=", errorsOnly);
    read("MAX_SIZE=", maxSize);
    read("APPEND=", append);
    ErrorsOnly = errorsOnly == 1;
    MaxSize = maxSize;
    Append = append == 1;
}

// The MAX_SIZE field is padded so that the header keeps its length whatever the
// options are, and can be rewritten in place.
void CVLog::WriteHeader()
{
    std::string size;
    FormatInserts(size, "%1!u!", static_cast<unsigned>(MaxSize));
    if (size.size() < kMaxSizeField)
        size.append(kMaxSizeField - size.size(), ' ');
    file_.Write("ERRORS_ONLY=");
    file_.WriteInt(ErrorsOnly ? 1 : 0);
    file_.Write("\nMAX_SIZE=");
    file_.Write(size.c_str());
    file_.Write("\nAPPEND=");
    file_.WriteInt(Append ? 1 : 0);
    file_.Write("\n");
    file_.Write(kHeaderSeparator);
}

void CVLog::WriteTimestamp()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string text;
    FormatString(text, "%04d/%02d/%02d %02d:%02d:%02d:%03d\t", now.wYear, now.wMonth, now.wDay, now.wHour,
                 now.wMinute, now.wSecond, now.wMilliseconds);
    file_.Write(text.c_str());
}

void CVLog::Write(LogLevel level, const char* format, va_list args)
{
    static const char* const kLevelWords[] = {"SUCCESS", "INFO", "WARNING", "ERROR"};
    LockGuard guard(lock_);
    if (ErrorsOnly && level != LogLevel::Error)
        return;
    const int index = static_cast<int>(level);
    if (index < 0 || index > 3)
        return;
    if (MaxSize != 0 && file_.Count() / 1024 >= MaxSize) {
        file_.Reset();
        WriteHeader();
    }
    file_.Write("\n\n");
    file_.Write(kLevelWords[index]);
    file_.Write("\t");
    WriteTimestamp();
    file_.Write("\n");
    if (!format)
        return;
    std::string wideAware(format);
    ReplaceAll(wideAware, "%b", "%ls");
    std::string message;
    FormatStringV(message, wideAware.c_str(), args);
    file_.Write(message.c_str());
}

#define KSINST_LOG_ENTRY(Name)                    \
    void CVLog::Name(const char* format, ...)     \
    {                                             \
        va_list args;                             \
        va_start(args, format);                   \
        Write(LogLevel::Name, format, args);      \
        va_end(args);                             \
    }

KSINST_LOG_ENTRY(Error)
KSINST_LOG_ENTRY(Warning)
KSINST_LOG_ENTRY(Info)
KSINST_LOG_ENTRY(Success)
