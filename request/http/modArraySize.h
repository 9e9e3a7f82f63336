#pragma once
#include <QByteArray>

// True when the array holds no element.
inline bool IsArrayEmpty(const QByteArray& bytes)
{
    return bytes.isEmpty();
}
inline qsizetype ArrayLength(const QByteArray& bytes)
{
    return bytes.size();
}
