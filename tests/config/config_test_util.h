// Helpers of the configuration tests: parsing from memory, a readable dump of a tree
// and a buffer that ends at an inaccessible page.
#pragma once

#include "config/config_document.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace configtest {

// The document parsed from `text` in memory, no file involved.
inline ConfigDocument ParseText(const std::string& text, const char* filter = nullptr,
                                LoadMode mode = LoadMode::All, bool flat = false, uint32_t flags = 0)
{
    ConfigText buffer;
    buffer.Assign(text.data(), text.size());
    buffer.flags = flags;
    ConfigDocument document;
    EXPECT_TRUE(document.Parse(buffer, filter, mode, SharedRef<ConfigPath>(), flat));
    return document;
}

// "<key>=<value>" for each entry, then "[name]{...}" for each sub-section.
inline std::string Dump(const ConfigSection& section)
{
    std::string out;
    for (size_t i = 0; i < section.EntryCount(); ++i)
        out += (out.empty() ? "<" : " <") + section.EntryAt(i)->key + ">=<" + section.EntryAt(i)->value + ">";
    for (size_t i = 0; i < section.SectionCount(); ++i)
        out += (out.empty() ? "[" : " [") + section.SectionAt(i)->Name() + "]{" + Dump(*section.SectionAt(i)) + "}";
    return out;
}

// Bytes placed so that a no-access page follows the last one: reading past the end
// crashes the test program instead of going unnoticed.
class GuardedBuffer {
public:
    explicit GuardedBuffer(const std::string& bytes) : length_(bytes.size())
    {
        SYSTEM_INFO info = {};
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize, dataPages = bytes.size() / page + 1;
        block_ = static_cast<char*>(VirtualAlloc(nullptr, (dataPages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(block_ + dataPages * page, page, PAGE_NOACCESS, &old);
        data_ = block_ + dataPages * page - bytes.size();
        memcpy(data_, bytes.data(), bytes.size());
    }
    ~GuardedBuffer() { VirtualFree(block_, 0, MEM_RELEASE); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    char* Data() const { return data_; }
    size_t Length() const { return length_; }

private:
    char* block_ = nullptr;
    char* data_ = nullptr;
    size_t length_;
};

}  // namespace configtest
