#include "frame/log_file.h"

#include "text/format.h"
#include "text/string_ops.h"

#include <utility>

LogFile::~LogFile() { Close(); }

bool LogFile::Open(const std::string& path, bool keepContent)
{
    if (IsOpen())
        return false;
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    handle_ = handle;
    count_ = keepContent ? Size() : 0;
    return true;
}

DWORD LogFile::Size() const
{
    if (!IsOpen())
        return 0;
    DWORD size = GetFileSize(handle_, nullptr);
    return size == INVALID_FILE_SIZE ? 0 : size;
}

void LogFile::SetPosition(DWORD offset)
{
    if (!IsOpen())
        return;
    SetFilePointer(handle_, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
    count_ = offset;
}

void LogFile::Truncate()
{
    if (!IsOpen())
        return;
    SetFilePointer(handle_, static_cast<LONG>(count_), nullptr, FILE_BEGIN);
    SetEndOfFile(handle_);
}

void LogFile::Reset()
{
    SetPosition(0);
    Truncate();
}

void LogFile::Write(const char* text)
{
    if (!IsOpen() || !text)
        return;
    std::string converted(text);
    ReplaceAll(converted, "\n", "\r\n");
    DWORD written = 0;
    WriteFile(handle_, converted.data(), static_cast<DWORD>(converted.size()), &written, nullptr);
    count_ += written;
}

void LogFile::WriteInt(int value)
{
    std::string text;
    FormatString(text, "%d", value);
    Write(text.c_str());
}

void LogFile::Close()
{
    if (IsOpen()) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

void LogFile::Swap(LogFile& other)
{
    std::swap(handle_, other.handle_);
    std::swap(count_, other.count_);
}
