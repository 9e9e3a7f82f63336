#pragma once
// The system version as the Windows-minded callers ask for it: always the NT family,
// major and minor taken from the kernel release ("6.1.0-18-amd64" gives 6 and 1), but
// never below 5.1. The version tests choose builds and code paths meant for old Windows
// (a legacy wget, keyless password protection); on Linux none of them applies, whatever
// the kernel, so no kernel release may look like an old Windows.
#include "platform/PlatformExport.h"

struct SystemVersion
{
    int major = 0;
    int minor = 0;
};

PLATFORM_EXPORT SystemVersion systemVersion();
// Test seam: pretend to be another version, old ones included; {0, 0} goes back to the
// real one.
PLATFORM_EXPORT void setSystemVersion(SystemVersion version);
// The real answer for a kernel release text such as "4.19.0-26-amd64".
PLATFORM_EXPORT SystemVersion systemVersionForKernel(const char* release);
