#include "request/http/modFormatVersion.h"

#include "platform/com/RuntimeError.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

namespace {
bool test(int (*function)(bool*), const char* name)
{
    bool value = false;
    checkStatus(function(&value), name);
    return value;
}

QString versionText()
{
    return QStringLiteral("%1/%2.%3.%4")
        .arg(QString::fromLatin1(ComponentTitle))
        .arg(VersionMajor)
        .arg(VersionMinor)
        .arg(VersionRevision);
}
} // namespace

QString FormatUserAgent(bool shortForm)
{
    if (shortForm)
        return QStringLiteral("Mozilla/4.0 (compatible) ") + versionText();
    int major = 0, minor = 0;
    checkStatus(sxWindowsVersionMajor(&major), "sxWindowsVersionMajor");
    checkStatus(sxWindowsVersionMinor(&minor), "sxWindowsVersionMinor");
    QString text = QStringLiteral("Mozilla/4.0 (compatible; ");
    const QString numbers = QStringLiteral("%1.%2").arg(major).arg(minor);
    if (test(sxIsHostWinNT, "sxIsHostWinNT"))
        text += QStringLiteral("Windows NT ") + numbers;
    else if (test(sxIsHostWin95, "sxIsHostWin95"))
        text += QStringLiteral("Windows 95");
    else if (test(sxIsHostWin98, "sxIsHostWin98"))
        text += QStringLiteral("Windows 98");
    else if (test(sxIsHostWinME, "sxIsHostWinME"))
        text += QStringLiteral("Windows ME");
    else
        text += QStringLiteral("Windows 9x ") + numbers;
    if (test(sxIsHostWin64, "sxIsHostWin64"))
        text += QStringLiteral("; WOW64");
    return text + QStringLiteral(") ") + versionText();
}
