#include "poster/service/modCommon.h"

QString LineBreaksToLF(const QString& text)
{
    return QString(text)
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}
