#pragma once
// Byte-array helpers of the form builders.
#include <QByteArray>
#include <QString>
#include <QVariantList>

// The byte arrays of items joined in order, in one allocation; an item that is not a
// byte array raises error 5.
QByteArray ConcatByteArrays(const QVariantList& items);
// text in the system's 8-bit code page; characters it lacks become "?".
QByteArray AnsiTextToBytes(const QString& text);
