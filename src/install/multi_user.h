// Whether the product is installed for every user of the machine (per-user Run values,
// per-user data) or once for the machine.
#pragma once

class ConfigSection;

// "MultiUser" of section "General" of `cfg` (integer, default 1, non-zero is true); a
// null `cfg` reads the product configuration. Read on the first call only: later calls
// return the same answer whatever they pass, for the life of the module.
bool IsMultiUser(const ConfigSection* cfg);
