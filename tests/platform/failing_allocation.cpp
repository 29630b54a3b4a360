#include "failing_allocation.h"

#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

// The size whose next allocation fails; 0 when none is armed.
volatile LONG g_failingSize = 0;
volatile LONG g_failed = 0;

}  // namespace

void* operator new(std::size_t size)
{
    if (g_failingSize != 0 &&
        InterlockedCompareExchange(&g_failingSize, 0, static_cast<LONG>(size)) == static_cast<LONG>(size)) {
        InterlockedExchange(&g_failed, 1);
        throw std::bad_alloc();
    }
    void* block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace kstest {

FailingAllocation::FailingAllocation(std::size_t size)
{
    InterlockedExchange(&g_failed, 0);
    InterlockedExchange(&g_failingSize, static_cast<LONG>(size));
}

FailingAllocation::~FailingAllocation() { InterlockedExchange(&g_failingSize, 0); }

bool FailingAllocation::Failed() const { return g_failed != 0; }

}  // namespace kstest
