// The version a file carries in its version resource, as the module compares it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CFileVersion {
public:
    // Reads the version resource of `fileName`. False when the file has none or it
    // cannot be read; the object then holds no version.
    bool Load(const char* fileName);

    // "major.minor.build.revision" from the fixed version record, else the version
    // string "FileVersion"; empty without a loaded resource or either of the two.
    std::string GetFileVersion() const;

private:
    std::string QueryString(const std::string& subBlock) const;

    // The version functions convert texts inside the resource buffer itself, so a
    // read changes it.
    mutable std::vector<BYTE> data_;
    // Sub-block path of the shell's own string table, tried before the file's
    // translation table.
    std::string prefix_;
};
