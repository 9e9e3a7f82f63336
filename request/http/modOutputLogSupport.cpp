#include "request/http/modOutputLogSupport.h"

#include "platform/com/RuntimeError.h"
#include "support/olvsupport0100/olvsupport0100.h"

#include <QStringList>

QString CleanOutputLog(const QString& text)
{
    QString trimmed;
    checkStatus(suTrimCRLF(text, &trimmed), "suTrimCRLF");
    const QStringList lines = trimmed.split(QStringLiteral("\r\n"));
    QString result;
    bool skipping = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        if (line.isEmpty()) {
            if (skipping)
                result += QStringLiteral("*** PROGRESS WAS REMOVED ***\r\n");
            skipping = !skipping;
        } else if (!skipping) {
            result += line;
            if (i + 1 < lines.size())
                result += QStringLiteral("\r\n");
        }
    }
    return result;
}
