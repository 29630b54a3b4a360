// The log's file: a handle and the running count of bytes the file holds up to the
// write position, counted by the log itself.
#pragma once

#include <windows.h>

#include <string>

class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens (or creates) `path` for reading and writing, shared for reading only.
    // Refuses while a file is open. The count starts at the file's size when
    // `keepContent`, else at 0.
    bool Open(const std::string& path, bool keepContent);
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    // Moves the write position to `offset` and makes it the running count.
    void SetPosition(DWORD offset);
    // Cuts the file at the running count.
    void Truncate();
    // Empties the file: position 0, cut, count 0.
    void Reset();
    // Writes `text` with each LF turned into CR LF; the count grows by what was written.
    void Write(const char* text);
    void WriteInt(int value);
    void Close();
    // Exchanges the files (handles and counts) of the two objects.
    void Swap(LogFile& other);

    DWORD Count() const { return count_; }
    DWORD Size() const;

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DWORD count_ = 0;
};
