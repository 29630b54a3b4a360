// The system's language as the installation script asks for it.
#pragma once

#include <windows.h>

// The low byte of the system's default language identifier: 0x09 for every English,
// 0x11 for Japanese, 0x04 for Chinese. The upper byte is always 0.
LANGID SystemLanguageLowByte();
