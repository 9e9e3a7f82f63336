#include "request/http/modFileIO.h"

#include "platform/text/AnsiCodePage.h"
#include "request/http/modArraySize.h"

#include <QFile>
#include <QFileInfo>

namespace {
bool readAll(const QString& fileName, QByteArray* bytes)
{
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError || data.size() != file.size())
        return false;
    *bytes = data;
    return true;
}

bool writeAll(const QString& fileName, const QByteArray& bytes)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (IsArrayEmpty(bytes))
        return true;
    const bool written = file.write(bytes) == bytes.size();
    return file.flush() && written;
}
} // namespace

bool ReadTextFile(const QString& fileName, QString* text)
{
    text->clear();
    QByteArray bytes;
    if (!readAll(fileName, &bytes))
        return false;
    *text = fromAnsi(bytes);
    return true;
}

bool ReadBinaryFile(const QString& fileName, QByteArray* bytes)
{
    bytes->clear();
    return readAll(fileName, bytes);
}

bool WriteTextFile(const QString& fileName, const QString& text)
{
    return writeAll(fileName, toAnsi(text));
}

bool WriteBinaryFile(const QString& fileName, const QByteArray& bytes)
{
    return writeAll(fileName, bytes);
}
