// Turns a configuration tree back into text in the nested file format, inside one
// growing block of committed virtual memory.
#pragma once

#include "config/config_section.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Writer options.
enum SerializeOption : uint32_t {
    // Values that would not survive a read unchanged go inside double quotes (for a
    // reader that unquotes).
    quoteValues = 1,
};

// A block of committed read-write virtual memory that only grows; new memory is
// zero-filled. Released at destruction.
class SerializationBuffer {
public:
    SerializationBuffer() = default;
    ~SerializationBuffer();
    SerializationBuffer(const SerializationBuffer&) = delete;
    SerializationBuffer& operator=(const SerializationBuffer&) = delete;

    char* Data() const { return data_; }
    size_t Capacity() const { return capacity_; }

    // Makes sure `size` bytes fit after `offset`. The first block is one memory page;
    // a block too small is replaced by one of max(needed, capacity + min(capacity,
    // 256 KiB)) holding a copy of the old content. False (buffer unchanged) when memory
    // cannot be committed or the size overflows.
    bool MakeRoom(size_t offset, size_t size);

private:
    bool Replace(size_t capacity);

    char* data_ = nullptr;
    size_t capacity_ = 0;
};

// What Serialize returns when memory runs out.
constexpr size_t kSerializeFailed = static_cast<size_t>(-1);

// Appends the text of `section` at `offset` and returns the new offset, or
// kSerializeFailed. A named section is written as its header at `depth` spaces, its
// entries at depth + 1 spaces, its sub-sections one level deeper and a closing "[]";
// an unnamed one as its entries and sub-sections alone. Flat mode writes no indent and
// no "[]". Lines end in CR LF.
size_t Serialize(const ConfigSection& section, SerializationBuffer& buffer, size_t offset, int depth,
                 uint32_t options, bool flatSections);

// Serialize into a fresh buffer from offset 0, copied into `text`. False, `text`
// empty, on failure.
bool SerializeToString(const ConfigSection& section, std::string& text, int depth, uint32_t options,
                       bool flatSections);
