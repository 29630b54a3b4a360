#include "install/language.h"

#include "frame/exports.h"

LANGID SystemLanguageLowByte() { return static_cast<LANGID>(GetSystemDefaultLangID() & 0xFF); }

KSINST_EXPORT(LANGID) KSWGetLangID() { return SystemLanguageLowByte(); }
