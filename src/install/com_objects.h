// Owners for COM: the calling thread's COM initialisation and one interface pointer.
#pragma once

#include <objbase.h>

// Initialises COM for the calling thread (apartment model) for one scope. A thread
// already initialised the same way counts as success; each success is balanced by one
// CoUninitialize at the end of the scope.
class ComApartment {
public:
    ComApartment() : result_(CoInitialize(nullptr)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool Ready() const { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};

// One reference to an interface, released at the end of the scope.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // Releases the current reference and gives the place where a call stores a new one.
    void** Receive()
    {
        Reset();
        return reinterpret_cast<void**>(&pointer_);
    }
    void Reset()
    {
        if (pointer_)
            pointer_->Release();
        pointer_ = nullptr;
    }

private:
    Interface* pointer_ = nullptr;
};
