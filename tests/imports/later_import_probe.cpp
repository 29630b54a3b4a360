// A program whose imports the check must refuse: a function Windows 95 lacks, one that
// NT 4.0 lacks, and one of ADVAPI32.
#include <windows.h>
#include <tlhelp32.h>

int main()
{
    HKEY key = nullptr;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    return static_cast<int>(IsDebuggerPresent()) + static_cast<int>(snapshot != nullptr) +
           static_cast<int>(RegOpenKeyA(HKEY_CURRENT_USER, "x", &key));
}
