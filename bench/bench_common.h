// Timing and reporting shared by the benchmarks.
#pragma once

#include <windows.h>

#include <string>

namespace bench {

// Seconds from a high-resolution counter.
double Now();

// Prints "BENCH <name> <value> <unit>" on a line of its own.
void Report(const std::string& name, double value, const char* unit);

// A fresh folder C:\ksbench\<name> (removed first), for files a benchmark makes.
std::string ScratchFolder(const std::string& name);

}  // namespace bench
