#pragma once
// The user's default language as a Windows language identifier, from the application's
// locale (QLocale(), which follows the system unless the application chose another).
#include "platform/PlatformExport.h"

constexpr int LangRussian = 1049;
constexpr int LangEnglishUS = 1033;

// 1049 for Russian; every other language answers 1033, the only other one the system
// tells apart.
PLATFORM_EXPORT int GetUserDefaultLangID();
