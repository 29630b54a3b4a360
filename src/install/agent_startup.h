// The agent's start with Windows: a string value under the Run key, named after the
// product, in every user's registry, the current user's or the machine's.
#pragma once

// The Run key below a user's root or HKEY_LOCAL_MACHINE.
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
// The agent's argument when Windows starts it.
constexpr char kStartupArgument[] = "/startup";

// Adds (or with `add` false removes) the agent's Run value: on a multi-user
// installation in every user's hive (`allUsers`; the default user's too with
// `withDefaultUser`) or the current user's, else the machine's. False when the module
// configuration cannot be read, the agent is missing on adding (last error 2), or a
// registry step fails (a missing value on removal from one key included).
bool SetAgentAtStartup(bool add, bool allUsers, bool withDefaultUser);
