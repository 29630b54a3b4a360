// Shell shortcuts (".lnk" files) described by the subsections of a section of the
// module configuration, made with the shell's link object.
#pragma once

#include <string>

class ConfigDocument;
class ConfigSection;

// One shortcut as its description and section "General" give it, paths completed.
struct Shortcut {
    std::string name;       // file name without ".lnk"
    std::string module;     // target
    std::string iconFile;
    int iconIndex = 0;
    std::string arguments;
};

// `path` as it stands when it begins with a drive letter and colon or with two
// backslashes; otherwise `installFolder`, a backslash and `path`.
std::string CompleteProductPath(const std::string& path, const std::string& installFolder);

// The shortcut that `description` (a subsection of `cfg`) asks for, environment
// references expanded and relative paths completed against "Path" of "General". False
// when it names no target or no file name: such a description makes no shortcut.
bool ReadShortcut(const ConfigDocument& cfg, const ConfigSection& description, const char* namePrefix,
                  bool useEnglishNames, Shortcut& shortcut);

// Writes the link file `linkPath` through the shell's link object; COM must be
// initialised on the calling thread. False when any step fails.
bool SaveShellLink(const Shortcut& shortcut, const std::string& linkPath);

// Creates one shortcut per subsection of `section` in `folder` (environment references
// expanded; created with its parents when missing) and, with `recordForUninstall`,
// lists each in section "Uninstall" of the product configuration. 1 when the loop ran,
// whatever became of each shortcut (failures are logged); 0 when the configuration or
// the section cannot be read, the folder cannot be made or COM cannot be initialised.
long CreateShortcuts(const char* namePrefix, const char* section, const char* folder, bool useEnglishNames,
                     bool recordForUninstall);
