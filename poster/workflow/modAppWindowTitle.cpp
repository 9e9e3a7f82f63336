#include "poster/workflow/modAppWindowTitle.h"

#include "poster/workflow/modApp.h"

QString WindowTitle(const QString& base, const QString& suffix)
{
    QString title = base;
    if (title.isEmpty())
        title = QString(App().Title).remove(QStringLiteral("Olvane - "));
    return suffix.isEmpty() ? title : title + QStringLiteral(" :: ") + suffix;
}
