// Module-wide state and names shared by the whole module.
#pragma once

#include <windows.h>

#include <string>

// The module's own instance handle, stored at process attach. Null in programs that
// link the module's code directly (the tests), until they set it.
extern HMODULE g_hModule;

// The product's registry key below a root key.
constexpr char kProductRegKey[] = "SOFTWARE\\Velm\\VLUpdate";

// Per-process environment variables; the names carry the process id ("%x").
constexpr char kLogKeyVariableFormat[] = "Velmo:CVLog:RegKey:0x%x";
constexpr char kLogDirVariableFormat[] = "Velmo:CVLog:Dir:0x%x";

// The variable name for this process: `format` with the current process id.
std::string ProcessVariableName(const char* format);

// The value of an environment variable, read with a 260-byte buffer first and again
// with the size the system asks for; empty when it is missing.
std::string ReadEnvironmentVariable(const std::string& name);
