#include "platform/com/ComTypes.h"

#include <QUuid>

QString guidToString(const GUID& guid)
{
    const QUuid uuid(guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                     guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6],
                     guid.Data4[7]);
    return uuid.toString(QUuid::WithBraces).toUpper();
}

bool guidFromString(const QString& text, GUID* guid)
{
    if (text.size() != 38 || !text.startsWith(QLatin1Char('{')))
        return false;
    const QUuid uuid(text);
    if (uuid.isNull() && text != QStringLiteral("{00000000-0000-0000-0000-000000000000}"))
        return false;
    guid->Data1 = uuid.data1;
    guid->Data2 = uuid.data2;
    guid->Data3 = uuid.data3;
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = uuid.data4[i];
    return true;
}

GUID newGuid()
{
    GUID guid;
    guidFromString(QUuid::createUuid().toString(QUuid::WithBraces), &guid);
    return guid;
}
