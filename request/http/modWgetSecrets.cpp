#include "request/http/modWgetSecrets.h"

#include "platform/process/CommandLine.h"
#include "request/http/modCommon.h"

#include <QFile>

bool IsCredentialHeader(const QString& line)
{
    const QString name = line.section(QLatin1Char(':'), 0, 0).trimmed();
    for (const char* secret : {"Authorization", "Proxy-Authorization", "Cookie"})
        if (name.compare(QLatin1String(secret), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

qsizetype CredentialHeaderCount(const QStringList& lines)
{
    for (qsizetype i = lines.size(); i > 0; --i)
        if (IsCredentialHeader(lines.at(i - 1)))
            return i;
    return 0;
}

QString TakeProxyPassword(const QString& proxyText, QString* password)
{
    password->clear();
    static const QString option = QStringLiteral("--proxy-password=");
    if (!proxyText.contains(option))
        return proxyText;
    // Split as wget will receive it, then put the rest together again in the same form.
    const QStringList arguments = splitCommandLine(QStringLiteral("wget ") + proxyText).mid(1);
    QString rest;
    for (const QString& argument : arguments) {
        if (argument.startsWith(option)) {
            *password = argument.mid(option.size());
            continue;
        }
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (argument.startsWith(QStringLiteral("--")) && equals > 0)
            rest += argument.left(equals + 1) + QLatin1Char('"') +
                    EscapeArgument(argument.mid(equals + 1)) + QStringLiteral("\" ");
        else if (!argument.isEmpty() && !argument.contains(QLatin1Char(' ')) &&
                 !argument.contains(QLatin1Char('"')) && !argument.contains(QLatin1Char('\t')))
            rest += argument + QLatin1Char(' ');
        else
            rest += QLatin1Char('"') + EscapeArgument(argument) + QStringLiteral("\" ");
    }
    if (!rest.isEmpty() && !proxyText.endsWith(QLatin1Char(' ')))
        rest.chop(1);
    return rest;
}

bool FitsSecretFile(const QString& value)
{
    const auto blank = [](QChar c) {
        return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\r' || c == u'\n';
    };
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')))
        return false;
    return value.isEmpty() || (!blank(value.front()) && !blank(value.back()));
}

bool WriteSecretFile(const QString& fileName, const QByteArray& baseConfig,
                     const WgetSecrets& secrets)
{
    QByteArray text = baseConfig;
    if (!text.isEmpty() && !text.endsWith('\n'))
        text += '\n';
    // Values are encoded as the launcher encodes command-line arguments; zero characters
    // go, as they do there.
    const auto line = [&text](const char* name, QString value) {
        value.remove(QChar(0));
        text += QByteArray(name) + " = " + QFile::encodeName(value) + '\n';
    };
    if (!secrets.password.isEmpty())
        line("password", secrets.password);
    if (!secrets.proxyPassword.isEmpty())
        line("proxy_password", secrets.proxyPassword);
    for (const QString& header : secrets.headers)
        line("header", header);
    QFile file(fileName);
    // The file exists already, made for the user only: open it without creating another.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::ExistingOnly))
        return false;
    const bool written = file.write(text) == text.size();
    return file.flush() && written;
}
