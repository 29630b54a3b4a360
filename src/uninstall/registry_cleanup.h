// The first phase's registry steps. Each swallows every error: a missing key or value
// ends that step (or block) silently and the next one runs. None throws.
#pragma once

// Registry places the removal touches, in the system's spelling.
constexpr char kRunKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunServicesKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
constexpr char kShellExecuteHooksKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks";
constexpr char kShellExecuteHookValue[] = "{5A3C1E07-9B2D-4F61-A8C4-2E7D90B35F18}";
constexpr char kUninstallKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kVelmKeyPath[] = "SOFTWARE\\Velm";
constexpr char kBrowserRunValue[] = "VLUpdateKestrel";

// Unless in install mode: the product's Run value `uniqueName` of every user (the
// default user's included) and of the machine, the current user's browser value when
// it names General\ModuleBrowser, and outside the NT family the machine's RunServices
// value.
void RemoveRunEntries(const char* uniqueName);

// The product's shell-execute hook value.
void RemoveShellExecuteHook();

// The product's key below SOFTWARE\Velm\VLUpdate (then that key and SOFTWARE\Velm when
// left empty) and its uninstall registration, then the older registration that
// Uninstall\Registry\OldUninstallRegName names. Nothing for an empty name.
void RemoveProductRegistration(const char* uniqueName);
