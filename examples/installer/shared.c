/* The sample product's shared component: a library that several installations may use,
 * counted in the system's shared-library list. It does nothing. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return TRUE;
}
