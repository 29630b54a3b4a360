#include "frame/module.h"

#include "text/format.h"

#include <vector>

HMODULE g_hModule = nullptr;

std::string ProcessVariableName(const char* format)
{
    std::string name;
    FormatString(name, format, static_cast<unsigned>(GetCurrentProcessId()));
    return name;
}

std::string ReadEnvironmentVariable(const std::string& name)
{
    std::vector<char> buffer(260, '\0');
    DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length >= buffer.size()) {
        buffer.assign(length + 1, '\0');
        length = GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length >= buffer.size())
            return std::string();
    }
    return std::string(buffer.data(), length);
}
