#pragma once
// Secrets never stand on wget's command line, where every local user can read them
// while wget runs. They go into a configuration file of one run instead: the lines of
// the shipped wget.cfg, then the secrets, created for the user only and removed as soon
// as wget has ended.
#include <QString>
#include <QStringList>

struct WgetSecrets
{
    QString password;      // server password ("--password")
    QString proxyPassword; // proxy password ("--proxy-password")
    QStringList headers;   // header lines, in the order wget is to send them
    bool isEmpty() const
    {
        return password.isEmpty() && proxyPassword.isEmpty() && headers.isEmpty();
    }
};

// True for a header line that carries credentials: Authorization, Proxy-Authorization
// or Cookie (the name compared without regard to case).
bool IsCredentialHeader(const QString& line);

// The index after the last credential line: the lines before it go to the file (wget
// sends the file's headers first, so the order holds), the rest stay on the command
// line. 0 when no line carries credentials.
qsizetype CredentialHeaderCount(const QStringList& lines);

// proxyText without its "--proxy-password" option, whose value goes to password (empty
// when there is none). The text comes back unchanged when it holds no password.
QString TakeProxyPassword(const QString& proxyText, QString* password);

// True when value can stand in the file exactly: wget trims configuration values and
// ends them at a line break.
bool FitsSecretFile(const QString& value);

// Writes baseConfig and then one line for each secret into fileName, which exists
// already (created for the user only). False when it cannot be written.
bool WriteSecretFile(const QString& fileName, const QByteArray& baseConfig,
                     const WgetSecrets& secrets);
