#include "platform/process/CommandLine.h"

#include <string>

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

    // Built in a plain buffer: the line is split before every wget run.
    const QChar* line = commandLine.constData();
    std::u16string argument;
    while (true) {
        while (i < n && isBlank(line[i]))
            ++i;
        if (i >= n)
            break;
        argument.clear();
        quoted = false;
        while (i < n && (quoted || !isBlank(line[i]))) {
            qsizetype backslashes = 0;
            while (i < n && line[i] == u'\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && line[i] == u'"') {
                argument.append(static_cast<size_t>(backslashes / 2), u'\\');
                if (backslashes % 2 == 1) {
                    argument.push_back(u'"');
                    ++i;
                } else if (quoted && i + 1 < n && line[i + 1] == u'"') {
                    argument.push_back(u'"'); // "" inside quotes
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument.append(static_cast<size_t>(backslashes), u'\\');
                if (i < n && (quoted || !isBlank(line[i]))) {
                    argument.push_back(line[i].unicode());
                    ++i;
                }
            }
        }
        arguments << QString::fromUtf16(argument.data(), static_cast<qsizetype>(argument.size()));
    }
    return arguments;
}
