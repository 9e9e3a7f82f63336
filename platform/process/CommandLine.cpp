#include "platform/process/CommandLine.h"

namespace {
bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}
} // namespace

QStringList splitCommandLine(const QString& commandLine)
{
    QStringList arguments;
    const qsizetype n = commandLine.size();
    qsizetype i = 0;
    while (i < n && isBlank(commandLine.at(i)))
        ++i;
    if (i >= n)
        return arguments;

    // The program name: no backslash rules.
    QString program;
    bool quoted = false;
    for (; i < n && (quoted || !isBlank(commandLine.at(i))); ++i) {
        if (commandLine.at(i) == u'"')
            quoted = !quoted;
        else
            program.append(commandLine.at(i));
    }
    arguments << program;

    while (true) {
        while (i < n && isBlank(commandLine.at(i)))
            ++i;
        if (i >= n)
            break;
        QString argument;
        quoted = false;
        while (i < n && (quoted || !isBlank(commandLine.at(i)))) {
            qsizetype backslashes = 0;
            while (i < n && commandLine.at(i) == u'\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && commandLine.at(i) == u'"') {
                argument.append(QString(backslashes / 2, QLatin1Char('\\')));
                if (backslashes % 2 == 1) {
                    argument.append(u'"');
                    ++i;
                } else if (quoted && i + 1 < n && commandLine.at(i + 1) == u'"') {
                    argument.append(u'"'); // "" inside quotes
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument.append(QString(backslashes, QLatin1Char('\\')));
                if (i < n && (quoted || !isBlank(commandLine.at(i)))) {
                    argument.append(commandLine.at(i));
                    ++i;
                }
            }
        }
        arguments << argument;
    }
    return arguments;
}
