#pragma once
// The system version as the Windows-minded callers ask for it: always the NT family,
// major and minor taken from the kernel release ("6.1.0-18-amd64" gives 6 and 1).
#include "platform/PlatformExport.h"

struct SystemVersion
{
    int major = 0;
    int minor = 0;
};

PLATFORM_EXPORT SystemVersion systemVersion();
// Test seam: pretend to be another version; {0, 0} goes back to the real one.
PLATFORM_EXPORT void setSystemVersion(SystemVersion version);
