// Where the product's and the module's configuration files are, the product's unique
// name, and the process environment. Paths and the name are computed on first use and
// kept for the module's life.
#pragma once

#include <windows.h>

#include <string>

class ConfigSection;

class CUtil {
public:
    // The configuration file beside the module (`inDataFolder` false) or in the product
    // data folder (true). A null `module` asks for the product configuration, falling
    // back to the module configuration when only that exists; a module handle asks for
    // that module's own configuration. A path whether or not the file exists; empty only
    // when no path could be formed.
    static std::string GetCfgPath(bool inDataFolder, HMODULE module);

    // Makes the folder of `path` exist as a folder; a plain file standing at its name is
    // deleted first (nothing is created when that fails). No result.
    static void EnsureFolderFor(const char* path);

    // The product's unique name: "ObjectPrefix" of section "General" of `cfg` (null:
    // the product configuration beside the module), else "VLAgent" with a warning.
    static std::string GetProductUniqueName(const ConfigSection* cfg);

    // Sets, or with a null value removes, a variable of the process environment.
    static void SetEnvVar(const char* name, const char* value);

    // Replaces each %NAME% reference in `text` by the variable's value; unknown names
    // stay as written. `text` is unchanged when the expansion fails.
    static void ExpandEnvVars(std::string& text);
};
