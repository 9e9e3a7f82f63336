#include "support/dialogs/OpenFileDialog.h"

#include <QFileDialog>

namespace {
std::optional<QString>& nextFileName()
{
    static std::optional<QString> next;
    return next;
}
} // namespace

void OpenFileDialog::setNextFileName(std::optional<QString> fileName)
{
    nextFileName() = std::move(fileName);
}

QString OpenFileDialog::qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (pattern == QStringLiteral("*.*")) {
                patterns << QStringLiteral("*");
                continue;
            }
            patterns << pattern;
            for (const QString& other : {pattern.toLower(), pattern.toUpper()})
                if (!patterns.contains(other))
                    patterns << other;
        }
        entries << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return entries.join(QStringLiteral(";;"));
}

bool OpenFileDialog::ShowOpen()
{
    if (nextFileName()) {
        FileName = *std::exchange(nextFileName(), std::nullopt);
        return !FileName.isEmpty();
    }
    FileName = QFileDialog::getOpenFileName(Owner, QString(), InitDir, qtFilter(Filter));
    return !FileName.isEmpty();
}
