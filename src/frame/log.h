// The module's plain-text log. One object, g_Log, lives for the module's life: it is
// constructed statically, started at process attach and finished at unload.
#pragma once

#include "frame/log_file.h"

#include <windows.h>

#include <cstdarg>
#include <string>

enum class LogLevel : int {
    Success = 0,
    Info = 1,
    Warning = 2,
    Error = 3,
};

class CVLog {
public:
    CVLog();
    virtual ~CVLog();
    CVLog(const CVLog&) = delete;
    CVLog& operator=(const CVLog&) = delete;

    // Opens the log file folder\baseName.log. A null or empty folder means the
    // log-folder variable, else the temporary folder; a null or empty base name
    // means "glog". Options come from the old file's header, then the registry.
    // Never fails: without a usable file every later write does nothing. A second
    // start keeps the open file whole and moves on to the numbered names.
    void Start(const char* folder, const char* baseName);

    // One entry each, printf-style; "%b" stands for a UTF-16 string argument.
    void Error(const char* format, ...);
    void Warning(const char* format, ...);
    void Info(const char* format, ...);
    void Success(const char* format, ...);
    void Write(LogLevel level, const char* format, va_list args);

    bool ErrorsOnly = true;
    DWORD MaxSize = 100;  // kilobytes; 0 means no limit
    bool Append = false;

private:
    void ReadHeaderOptions(const std::string& path);
    void ReadRegistryOptions(const std::string& baseName);
    void WriteHeader();
    void WriteTimestamp();

    LogFile file_;
    // Worker threads of the uninstaller log too; an entry is written whole.
    CRITICAL_SECTION lock_;
};

extern CVLog g_Log;
