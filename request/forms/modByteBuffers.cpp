#include "request/forms/modByteBuffers.h"

#include "platform/com/RuntimeError.h"
#include "platform/text/AnsiCodePage.h"
#include "request/http/modArraySize.h"

QByteArray ConcatByteArrays(const QVariantList& items)
{
    qsizetype total = 0;
    for (const QVariant& item : items) {
        if (item.typeId() != QMetaType::QByteArray)
            raiseError(ErrInvalidProcedureCall, QStringLiteral("ConcatByteArrays"));
        total += ArrayLength(item.toByteArray());
    }
    QByteArray result;
    if (total == 0)
        return result;
    result.reserve(total);
    for (const QVariant& item : items)
        result += item.toByteArray();
    return result;
}

QByteArray AnsiTextToBytes(const QString& text)
{
    return toAnsi(text);
}
