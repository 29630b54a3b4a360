#include "config/config_writer.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr size_t kGrowthLimit = 256 * 1024;

size_t PageSize()
{
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    return info.dwPageSize ? info.dwPageSize : 4096;
}

// The pieces of one line, copied as "%s" copies them: up to their first zero byte.
class LinePieces {
public:
    LinePieces& Add(const std::string& text) { return Add(text.c_str(), strlen(text.c_str())); }
    LinePieces& Add(const char* text, size_t length)
    {
        pieces_[count_++] = {text, length};
        size_ += length;
        return *this;
    }

    // Writes the line at `at` and returns its length; kSerializeFailed, nothing
    // written, when it is longer than `room`.
    size_t WriteAt(char* at, size_t room) const
    {
        if (size_ > room)
            return kSerializeFailed;
        for (size_t i = 0; i < count_; ++i) {
            memcpy(at, pieces_[i].text, pieces_[i].length);
            at += pieces_[i].length;
        }
        return size_;
    }

private:
    struct Piece {
        const char* text;
        size_t length;
    };
    Piece pieces_[6] = {};
    size_t count_ = 0;
    size_t size_ = 0;
};

// A value is quoted when a reader would otherwise change it: empty, blank or control
// or high byte at either end (a signed char of at most 32), or already in quotes.
bool NeedsQuotes(const std::string& value)
{
    const char* text = value.c_str();
    const size_t length = strlen(text);
    if (length == 0)
        return true;
    if (static_cast<signed char>(text[0]) <= 32 || static_cast<signed char>(text[length - 1]) <= 32)
        return true;
    return text[0] == '"' && text[length - 1] == '"';
}

class TreeWriter {
public:
    TreeWriter(SerializationBuffer& buffer, size_t offset, uint32_t options, bool flat)
        : buffer_(buffer), offset_(offset), options_(options), flat_(flat)
    {
    }

    // The section's header and entries; false when memory runs out.
    bool Open(const ConfigSection& section, int depth)
    {
        indent_.assign(flat_ ? 0 : static_cast<size_t>(std::max(depth, 0)), ' ');
        if (!section.Name().empty()) {
            if (!Line((indent_.size() + section.Name().size()) * 2 + 4,
                      LinePieces().Add(indent_).Add("[", 1).Add(section.Name()).Add("]\r\n", 3)))
                return false;
        }
        entryIndent_.assign(flat_ ? 0 : static_cast<size_t>(std::max(depth + 1, 0)), ' ');
        const size_t count = section.EntryCount();
        for (size_t i = 0; i < count; ++i) {
            SharedRef<ConfigEntry> entry = section.EntryAt(i);
            if (!entry)
                continue;
            const size_t room = (entryIndent_.size() + entry->value.size() + entry->key.size()) * 2 + 7;
            LinePieces line;
            line.Add(entryIndent_).Add(entry->key);
            if ((options_ & quoteValues) && NeedsQuotes(entry->value))
                line.Add(" = \"", 4).Add(entry->value).Add("\"\r\n", 3);
            else
                line.Add(" = ", 3).Add(entry->value).Add("\r\n", 2);
            if (!Line(room, line))
                return false;
        }
        return true;
    }

    // The section's closing "[]"; false when memory runs out.
    bool Close(const ConfigSection& section, int depth)
    {
        if (flat_ || section.Name().empty())
            return true;
        indent_.assign(static_cast<size_t>(std::max(depth, 0)), ' ');
        return Line(indent_.size() * 2 + 4, LinePieces().Add(indent_).Add("[]\r\n", 4));
    }

    size_t Offset() const { return offset_; }

private:
    // Makes `room` bytes of room, then writes the line into it.
    bool Line(size_t room, const LinePieces& pieces)
    {
        if (!buffer_.MakeRoom(offset_, room))
            return false;
        const size_t written = pieces.WriteAt(buffer_.Data() + offset_, room);
        if (written == kSerializeFailed)
            return false;
        offset_ += written;
        return true;
    }

    SerializationBuffer& buffer_;
    size_t offset_;
    uint32_t options_;
    bool flat_;
    std::string indent_;
    std::string entryIndent_;
};

}  // namespace

SerializationBuffer::~SerializationBuffer()
{
    if (data_)
        VirtualFree(data_, 0, MEM_RELEASE);
}

bool SerializationBuffer::MakeRoom(size_t offset, size_t size)
{
    if (!data_ || capacity_ == 0) {
        if (!Replace(PageSize()))
            return false;
    }
    if (offset > SIZE_MAX - size)
        return false;
    const size_t needed = offset + size;
    if (capacity_ >= needed)
        return true;
    // Doubling while small, then steps of 256 KiB: few copies, little waste.
    const size_t step = std::min(capacity_, kGrowthLimit);
    const size_t grown = capacity_ > SIZE_MAX - step ? SIZE_MAX : capacity_ + step;
    return Replace(std::max(needed, grown));
}

bool SerializationBuffer::Replace(size_t capacity)
{
    char* block = static_cast<char*>(VirtualAlloc(nullptr, capacity, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!block)
        return false;
    if (data_) {
        memcpy(block, data_, capacity_);
        VirtualFree(data_, 0, MEM_RELEASE);
    }
    data_ = block;
    capacity_ = capacity;
    return true;
}

size_t Serialize(const ConfigSection& section, SerializationBuffer& buffer, size_t offset, int depth,
                 uint32_t options, bool flatSections)
{
    try {
        if (!buffer.MakeRoom(offset, 0))
            return kSerializeFailed;
        // The open sections are kept on a list rather than on the call stack, so a tree
        // of any depth is written without exhausting the stack. A named section's
        // sub-sections go one level deeper; an unnamed one's stay at its own depth.
        struct Level {
            const ConfigSection* section;
            int depth;
            size_t nextSection;
        };
        TreeWriter writer(buffer, offset, options, flatSections);
        if (!writer.Open(section, depth))
            return kSerializeFailed;
        std::vector<Level> levels;
        levels.push_back({&section, depth, 0});
        while (!levels.empty()) {
            Level& level = levels.back();
            if (level.nextSection < level.section->SectionCount()) {
                SharedRef<ConfigSection> sub = level.section->SectionAt(level.nextSection++);
                if (!sub)
                    continue;
                const int subDepth = level.section->Name().empty() ? level.depth : level.depth + 1;
                if (!writer.Open(*sub, subDepth))
                    return kSerializeFailed;
                // The parent's list keeps the sub-section alive while it is written.
                levels.push_back({sub.Get(), subDepth, 0});
                continue;
            }
            if (!writer.Close(*level.section, level.depth))
                return kSerializeFailed;
            levels.pop_back();
        }
        return writer.Offset();
    } catch (const std::bad_alloc&) {
        return kSerializeFailed;
    }
}

bool SerializeToString(const ConfigSection& section, std::string& text, int depth, uint32_t options,
                       bool flatSections)
{
    text.clear();
    try {
        SerializationBuffer buffer;
        const size_t end = Serialize(section, buffer, 0, depth, options, flatSections);
        if (end == kSerializeFailed)
            return false;
        text.assign(buffer.Data(), end);
        return true;
    } catch (const std::bad_alloc&) {
        text.clear();
        return false;
    }
}
