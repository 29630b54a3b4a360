// The calling shapes of the module's exports, as installation scripts call them.
#pragma once

#include <cstddef>

enum class ArgKind { Text, Number };
enum class ResultKind { Number, Number16, Text, None };

struct ExportShape {
    const char* name;
    int ordinal;
    ResultKind result;
    int argCount;
    ArgKind args[5];
    const char* usage;  // argument names for --help
};

const ExportShape* FindExportShape(const char* name);
const ExportShape* ExportShapes(size_t* count);
