// A reference-counted handle to a heap object, shared by configuration trees.
#pragma once

#include "config/block_pool.h"

#include <windows.h>

#include <new>
#include <utility>

// Holds an object pointer and a separately allocated 32-bit count (from a pool). Copies
// share the object; the count changes with interlocked operations, so handles may be
// copied and released on different threads. The holder that brings the count to zero
// deletes both. A handle may be empty.
template <typename T>
class SharedRef {
public:
    SharedRef() = default;

    // Takes ownership of `object` (which must come from new). When the count cannot be
    // allocated the object is deleted and the handle stays empty.
    explicit SharedRef(T* object)
    {
        if (!object)
            return;
        void* count = RefCountPool().Allocate();
        if (!count) {
            delete object;
            return;
        }
        count_ = new (count) LONG(1);
        object_ = object;
    }

    SharedRef(const SharedRef& other) : object_(other.object_), count_(other.count_)
    {
        if (count_)
            InterlockedIncrement(count_);
    }

    SharedRef(SharedRef&& other) noexcept : object_(other.object_), count_(other.count_)
    {
        other.object_ = nullptr;
        other.count_ = nullptr;
    }

    ~SharedRef() { Reset(); }

    SharedRef& operator=(const SharedRef& other)
    {
        SharedRef copy(other);
        Swap(copy);
        return *this;
    }

    SharedRef& operator=(SharedRef&& other) noexcept
    {
        SharedRef moved(std::move(other));
        Swap(moved);
        return *this;
    }

    // Releases this holder's share and leaves the handle empty.
    void Reset()
    {
        T* object = object_;
        LONG* count = count_;
        object_ = nullptr;
        count_ = nullptr;
        if (count && InterlockedDecrement(count) == 0) {
            delete object;
            RefCountPool().Release(count);
        }
    }

    void Swap(SharedRef& other) noexcept
    {
        std::swap(object_, other.object_);
        std::swap(count_, other.count_);
    }

    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }

    // The number of holders; 0 for an empty handle. A count of 1 seen by a holder is
    // final: no other holder exists that could copy the handle meanwhile.
    LONG UseCount() const { return count_ ? InterlockedCompareExchange(count_, 0, 0) : 0; }

private:
    T* object_ = nullptr;
    LONG* count_ = nullptr;
};

// Allocates a T from `args` without throwing on lack of memory; empty when the object
// or its count cannot be allocated.
template <typename T, typename... Args>
SharedRef<T> MakeShared(Args&&... args)
{
    return SharedRef<T>(new (std::nothrow) T(std::forward<Args>(args)...));
}
