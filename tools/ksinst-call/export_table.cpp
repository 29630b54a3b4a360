#include "export_table.h"

#include <windows.h>

namespace {

constexpr ArgKind T = ArgKind::Text;
constexpr ArgKind N = ArgKind::Number;

const ExportShape kShapes[] = {
    {"DllRegisterServer", 1, ResultKind::Number, 0, {}, ""},
    {"DllUnregisterServer", 2, ResultKind::Number, 0, {}, ""},
    {"KSWSetFreeAccess", 3, ResultKind::Number, 2, {T, N}, "objectName objectType"},
    {"KSWDelDir", 5, ResultKind::Number, 2, {T, N}, "path allUsers"},
    {"KSWIsCompatibleWithOS", 6, ResultKind::Number, 1, {N}, "mask"},
    {"KSWAddRegStringToAllUsers", 7, ResultKind::Number, 4, {T, T, T, N}, "subKey valueName text options"},
    {"KSWAddRegDWordToAllUsers", 8, ResultKind::Number, 4, {T, T, N, N}, "subKey valueName value options"},
    {"KSWAreThereOthers", 9, ResultKind::Number, 0, {}, ""},
    {"KSWRunAgent", 10, ResultKind::Number, 1, {T}, "args"},
    {"KSWAgentAtStartup", 11, ResultKind::Number, 3, {N, N, N}, "add allUsers withDefaultUser"},
    {"KSWGetLangID", 12, ResultKind::Number16, 0, {}, ""},
    {"KSWAnalyzeLog", 13, ResultKind::Number, 1, {T}, "logPath"},
    {"KSWGetDirContent", 14, ResultKind::Number, 3, {T, N, T}, "folder recurse pattern"},
    {"KSWGetParamString", 15, ResultKind::Text, 4, {T, T, T, T}, "cfgPath section key defaultValue"},
    {"KSWSetParamString", 16, ResultKind::Number, 4, {T, T, T, T}, "cfgPath section key value"},
    {"KSWImportConfigFile", 17, ResultKind::Number, 3, {T, T, T}, "targetPath sourcePath sectionFilter"},
    {"KSWSetStatParamString", 18, ResultKind::Number, 4, {T, T, T, N}, "section key value mode"},
    {"KSWCreateStartMenu", 19, ResultKind::Number, 2, {T, N}, "name useEnglishNames"},
    {"KSWRun", 20, ResultKind::Number, 2, {T, N}, "commandLine wait"},
    {"KSWDeleteChannelsFromCfg", 21, ResultKind::Number, 3, {T, T, T}, "cfgPath sectionPath productFolderName"},
    {"KSWInstallDownloader", 22, ResultKind::Number, 2, {T, T}, "cfgPath sourceFolder"},
    {"KSWUninstallDownloader", 23, ResultKind::Number, 1, {T}, "cfgPath"},
    {"KSWCreateShortcuts", 24, ResultKind::Number, 5, {T, T, T, N, N},
     "namePrefix section folder useEnglishNames recordForUninstall"},
    {"KSWInstallUninstallGoProto", 25, ResultKind::Number, 3, {T, N, N}, "libraryPath install installArgument"},
    {"ExUninstall", 100, ResultKind::None, 4, {N, N, T, N}, "window instance commandLine showCommand"},
};

}  // namespace

const ExportShape* FindExportShape(const char* name)
{
    for (const auto& shape : kShapes) {
        if (lstrcmpiA(shape.name, name) == 0)
            return &shape;
    }
    return nullptr;
}

const ExportShape* ExportShapes(size_t* count)
{
    *count = sizeof(kShapes) / sizeof(kShapes[0]);
    return kShapes;
}
