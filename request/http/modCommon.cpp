#include "request/http/modCommon.h"

#include "platform/com/RuntimeError.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

QString EscapeArgument(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    qsizetype backslashes = 0;
    for (const QChar c : text) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == QChar(0))
            continue; // a zero character would end the value early
        if (c == u'"')
            out.append(QString(2 * backslashes + 1, QLatin1Char('\\')));
        else
            out.append(QString(backslashes, QLatin1Char('\\')));
        backslashes = 0;
        out.append(c);
    }
    // The closing quote follows the value: backslashes before it must not escape it.
    out.append(QString(2 * backslashes, QLatin1Char('\\')));
    return out;
}

QString NormalizeLineBreaks(const QString& text)
{
    return QString(text)
        .replace(QStringLiteral("\r\n"), QStringLiteral("\r"))
        .replace(QLatin1Char('\n'), QLatin1Char('\r'))
        .replace(QStringLiteral("\r"), QStringLiteral("\r\n"));
}

QString JoinFileName(const QString& folder, const QString& name)
{
    QString path;
    const QString none;
    checkStatus(sxBuildFileName2(folder, name, none, none, none, none, none, none, none, &path),
                "sxBuildFileName2");
    return path;
}
