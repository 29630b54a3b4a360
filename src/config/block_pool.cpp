#include "config/block_pool.h"

#include <cstdint>

namespace {

// The system reserves memory in 64 KiB units, so a chunk of that size starts on a
// 64 KiB boundary and a block finds its chunk by clearing the low address bits.
constexpr size_t kChunkSize = 64 * 1024;

}  // namespace

struct BlockPool::Chunk {
    Chunk* previous;
    Chunk* next;
    void* freeList;  // released blocks, linked through their first bytes
    char* unused;    // blocks never handed out start here
    char* end;
    size_t live;
    bool listed;
};

void* BlockPool::Allocate() noexcept
{
    Lock();
    Chunk* chunk = available_;
    if (!chunk) {
        chunk = NewChunk();
        if (!chunk) {
            Unlock();
            return nullptr;
        }
        Link(chunk);
    }
    void* block;
    if (chunk->freeList) {
        block = chunk->freeList;
        chunk->freeList = *static_cast<void**>(block);
    } else {
        block = chunk->unused;
        chunk->unused += blockSize_;
    }
    ++chunk->live;
    if (!chunk->freeList && static_cast<size_t>(chunk->end - chunk->unused) < blockSize_)
        Unlink(chunk);
    Unlock();
    return block;
}

void BlockPool::Release(void* block) noexcept
{
    if (!block)
        return;
    Chunk* chunk = reinterpret_cast<Chunk*>(reinterpret_cast<uintptr_t>(block) & ~(uintptr_t(kChunkSize) - 1));
    Lock();
    *static_cast<void**>(block) = chunk->freeList;
    chunk->freeList = block;
    --chunk->live;
    if (chunk->live == 0) {
        if (chunk->listed)
            Unlink(chunk);
        Unlock();
        VirtualFree(chunk, 0, MEM_RELEASE);
        return;
    }
    if (!chunk->listed)
        Link(chunk);
    Unlock();
}

void BlockPool::Lock() noexcept
{
    // Held for a few instructions only; a waiter gives up its time slice.
    while (InterlockedExchange(&lock_, 1) != 0)
        Sleep(0);
}

void BlockPool::Unlock() noexcept { InterlockedExchange(&lock_, 0); }

BlockPool::Chunk* BlockPool::NewChunk() noexcept
{
    void* memory = VirtualAlloc(nullptr, kChunkSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!memory)
        return nullptr;
    if (reinterpret_cast<uintptr_t>(memory) & (kChunkSize - 1)) {
        // Not on a 64 KiB boundary: blocks could not find their chunk. Never seen on a
        // system of this family; counts as lack of memory.
        VirtualFree(memory, 0, MEM_RELEASE);
        return nullptr;
    }
    Chunk* chunk = static_cast<Chunk*>(memory);
    chunk->previous = nullptr;
    chunk->next = nullptr;
    chunk->freeList = nullptr;
    chunk->unused = static_cast<char*>(memory) + (sizeof(Chunk) + 7) / 8 * 8;
    chunk->end = static_cast<char*>(memory) + kChunkSize;
    chunk->live = 0;
    chunk->listed = false;
    return chunk;
}

void BlockPool::Link(Chunk* chunk) noexcept
{
    chunk->previous = nullptr;
    chunk->next = available_;
    if (available_)
        available_->previous = chunk;
    available_ = chunk;
    chunk->listed = true;
}

void BlockPool::Unlink(Chunk* chunk) noexcept
{
    if (chunk->previous)
        chunk->previous->next = chunk->next;
    else
        available_ = chunk->next;
    if (chunk->next)
        chunk->next->previous = chunk->previous;
    chunk->previous = nullptr;
    chunk->next = nullptr;
    chunk->listed = false;
}

BlockPool& RefCountPool()
{
    static BlockPool pool(sizeof(LONG));
    return pool;
}
