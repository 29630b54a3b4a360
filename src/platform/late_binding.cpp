#include "platform/late_binding.h"

namespace latebind {

FARPROC FindSystemFunction(const char* library, const char* function)
{
    // Each bound function holds one reference on its library, never released, so the
    // pointer stays valid for the life of the process whoever else frees the library.
    const HMODULE module = LoadLibraryA(library);
    if (!module)
        return nullptr;
    const FARPROC found = GetProcAddress(module, function);
    if (!found) {
        const DWORD error = GetLastError();
        FreeLibrary(module);
        SetLastError(error);
    }
    return found;
}

}  // namespace latebind
