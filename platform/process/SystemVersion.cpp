#include "platform/process/SystemVersion.h"

#include <QString>
#include <QStringList>
#include <sys/utsname.h>

namespace {
SystemVersion pinned;
}

SystemVersion systemVersion()
{
    if (pinned.major || pinned.minor)
        return pinned;
    utsname name{};
    if (uname(&name) != 0)
        return {};
    const QStringList parts =
        QString::fromLatin1(name.release).split(QLatin1Char('.'), Qt::KeepEmptyParts);
    SystemVersion version;
    version.major = parts.value(0).toInt();
    // "6.1.0-18" → minor "1"; take the leading digits only.
    QString minor = parts.value(1);
    qsizetype digits = 0;
    while (digits < minor.size() && minor.at(digits).isDigit())
        ++digits;
    version.minor = minor.left(digits).toInt();
    return version;
}

void setSystemVersion(SystemVersion version)
{
    pinned = version;
}
