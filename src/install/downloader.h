// The downloader component: an in-process COM server library in the system folder,
// possibly shared with other installations, installed only when the delivered copy is
// newer than the registered one and counted in the shared-library counts.
#pragma once

#include <string>

// Reads "CLSID" and "Name" of section "VLDown" of the description file. True only when
// `cfgPath` is non-empty and both values are non-empty, and "Name" is a plain file name
// (no folder part, not "." or ".."): the module only ever touches that name in the
// system folder.
bool ReadDownloaderInfo(const char* cfgPath, std::string& name, std::string& clsid);

// The default value of HKEY_CLASSES_ROOT\CLSID\<clsid>\InprocServer32; empty when it
// cannot be read.
std::string GetInprocServerPath(const std::string& clsid);

// Compares two dotted version texts piece by piece as numbers (a piece that is not a
// plain number counts as 0xFFFFFFFF): -1, 0 or 1. With equal common pieces the text with
// fewer pieces is the smaller; with as many pieces the texts compare without case.
int CompareVersions(const std::string& a, const std::string& b);

// Whether a delivered source folder may be removed whole after the install: never a
// drive or share root or a relative path, nor the Windows or system folder or a folder
// above them.
bool IsRemovableSourceFolder(const std::string& folder);
