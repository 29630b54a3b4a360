// Makes one allocation fail, for the tests of what the module does when memory runs out.
// The test program replaces the global operator new with one that can be told to fail.
#pragma once

#include <cstddef>

namespace kstest {

// While it lives, the first allocation of exactly `size` bytes (by any thread) throws
// std::bad_alloc; later ones succeed again.
class FailingAllocation {
public:
    explicit FailingAllocation(std::size_t size);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;

    // Whether the failure happened.
    bool Failed() const;
};

}  // namespace kstest
