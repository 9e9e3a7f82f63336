#include "request/http/modCookies.h"

#include "platform/com/RuntimeError.h"
#include "request/http/modCommon.h"
#include "support/olvsupport0100/olvsupport0100.h"

#include <QStringList>

QString CookieFileHeader()
{
    return QStringLiteral("# Netscape HTTP Cookie File\r\n\r\n");
}

QString CookiesFromCookieFile(const QString& text)
{
    QString result;
    const QStringList lines = NormalizeLineBreaks(text).split(QStringLiteral("\r\n"));
    for (const QString& line : lines) {
        QString trimmed;
        checkStatus(suTrimEx(line, &trimmed), "suTrimEx");
        if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char('#')))
            result += trimmed + QStringLiteral("\r\n");
    }
    return result;
}
