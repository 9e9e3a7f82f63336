#include "platform/process/SystemVersion.h"

#include <QString>
#include <QStringList>
#include <sys/utsname.h>

namespace {
SystemVersion pinned;

// Windows XP: the oldest version for which nothing legacy is chosen.
constexpr SystemVersion Floor{5, 1};

int leadingNumber(const QString& text)
{
    qsizetype digits = 0;
    while (digits < text.size() && text.at(digits).isDigit())
        ++digits;
    return text.left(digits).toInt();
}
} // namespace

SystemVersion systemVersionForKernel(const char* release)
{
    const QStringList parts = QString::fromLatin1(release).split(QLatin1Char('.'));
    // "6.1.0-18" → minor "1"; take the leading digits only.
    const SystemVersion version{leadingNumber(parts.value(0)), leadingNumber(parts.value(1))};
    if (version.major < Floor.major ||
        (version.major == Floor.major && version.minor < Floor.minor))
        return Floor;
    return version;
}

SystemVersion systemVersion()
{
    if (pinned.major || pinned.minor)
        return pinned;
    utsname name{};
    if (uname(&name) != 0)
        return Floor;
    return systemVersionForKernel(name.release);
}

void setSystemVersion(SystemVersion version)
{
    pinned = version;
}
