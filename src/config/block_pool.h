// Fixed-size blocks for the many small objects of configuration trees (entries and
// reference counts): carving them from 64 KiB chunks costs a fraction of a general
// heap allocation and release, which dominate the time to load a large file.
#pragma once

#include <windows.h>

#include <cstddef>

// Thread-safe: blocks may be released on any thread. A chunk goes back to the system
// when its last block is released, so nothing stays behind once no tree is alive.
// Constant-initialized, so it works before and after the module's static constructors
// and destructors run.
class BlockPool {
public:
    constexpr explicit BlockPool(size_t blockSize)
        : blockSize_(blockSize < sizeof(void*) ? sizeof(void*) : (blockSize + 7) / 8 * 8)
    {
    }
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    size_t BlockSize() const { return blockSize_; }

    // A block of BlockSize() bytes aligned to 8; null when no memory can be committed.
    void* Allocate() noexcept;
    // Gives back a block from Allocate of this pool; null is ignored.
    void Release(void* block) noexcept;

private:
    struct Chunk;

    void Lock() noexcept;
    void Unlock() noexcept;
    Chunk* NewChunk() noexcept;
    void Link(Chunk* chunk) noexcept;
    void Unlink(Chunk* chunk) noexcept;

    const size_t blockSize_;
    LONG lock_ = 0;
    Chunk* available_ = nullptr;  // chunks with at least one free block
};

// The pool behind SharedRef's reference counts.
BlockPool& RefCountPool();
