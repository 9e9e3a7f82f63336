#include "support/dialogs/AboutBox.h"

#include "platform/ui/MsgBox.h"

#include <QCoreApplication>

void ShowAboutBox(QWidget*, const AppObject& app, const QString& text, const QPixmap*,
                  const QString& dedication)
{
    QString message = app.Title + QStringLiteral("\r\nVersion ") +
                      QCoreApplication::applicationVersion() + QStringLiteral("\r\n\r\n") +
                      app.CompanyName;
    if (!text.isEmpty())
        message += QStringLiteral("\r\n\r\n") + text;
    if (!dedication.isEmpty())
        message += QStringLiteral("\r\n\r\n") + dedication;
    msgBox(message, vbInformation, QStringLiteral("About ") + app.Title);
}
