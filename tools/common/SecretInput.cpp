#include "tools/common/SecretInput.h"

#include <QFile>

bool readPasswordFile(const QString& name, QString* password, QString* error, QString* warning)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("cannot read the password file %1: %2").arg(name, file.errorString());
        return false;
    }
    warning->clear();
    if (file.permissions() & (QFile::ReadGroup | QFile::ReadOther))
        *warning = QStringLiteral("other users can read %1").arg(name);
    QByteArray bytes = file.readAll();
    // One line ending after the password is the file's, not the password's.
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    *password = QString::fromUtf8(bytes);
    bytes.fill('\0');
    return true;
}

QString takeEnvironmentSecret(const char* name)
{
    if (!qEnvironmentVariableIsSet(name))
        return {};
    QString value = qEnvironmentVariable(name);
    if (value.isNull())
        value = QStringLiteral("");
    qunsetenv(name);
    return value;
}
