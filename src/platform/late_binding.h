// Functions of system libraries bound on their first call rather than by the system
// loader. A library listed in the module's import table must export every function
// named there, or the module does not load at all; a function bound late that the
// running system lacks fails like a failed call instead (the failure value the caller
// already handles, last error ERROR_PROC_NOT_FOUND).
//
// KS_BIND_LATE(library, function, argumentBytes, failure) defines the import pointer
// that the system headers' declarations call through (the symbol an import library
// would give), first pointing at a binder. The call sites stay plain calls.
#pragma once

#include <windows.h>

#include <cstddef>

namespace latebind {

// The named function of the named system library, loaded once and kept for the life of
// the process; null when the library or the function is missing (last error set).
FARPROC FindSystemFunction(const char* library, const char* function);

// The bytes a stdcall function of these arguments takes from the stack.
template <typename... A>
constexpr std::size_t ArgumentBytes()
{
    return (std::size_t{0} + ... + ((sizeof(A) + 3) & ~std::size_t{3}));
}

template <typename F>
struct Binder;

template <typename R, typename... A>
struct Binder<R(WINAPI*)(A...)> {
    using Function = R(WINAPI*)(A...);
    static constexpr std::size_t kArgumentBytes = ArgumentBytes<A...>();

    template <Function* Slot, const char* Library, const char* Name, R Failure>
    struct For {
        static R WINAPI Missing(A...)
        {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return Failure;
        }
        // Replaces itself in the slot by the system's function (or by Missing), then
        // makes the call; two threads binding at once store the same value.
        static R WINAPI First(A... arguments)
        {
            const FARPROC found = FindSystemFunction(Library, Name);
            *Slot = found ? reinterpret_cast<Function>(reinterpret_cast<void*>(found)) : &Missing;
            return (*Slot)(arguments...);
        }
    };
};

}  // namespace latebind

#define KS_BIND_LATE(library, function, argumentBytes, failure)                                        \
    namespace {                                                                                      \
    constexpr char kLateName_##function[] = #function;                                               \
    }                                                                                                \
    extern "C" decltype(&::function) ksLate_##function __asm__("__imp__" #function "@" #argumentBytes); \
    static_assert(latebind::Binder<decltype(&::function)>::kArgumentBytes == argumentBytes,          \
                  #function ": the argument size does not match its declaration");                  \
    decltype(&::function) ksLate_##function =                                                        \
        &latebind::Binder<decltype(&::function)>::For<&ksLate_##function, library, kLateName_##function, \
                                                       failure>::First;
