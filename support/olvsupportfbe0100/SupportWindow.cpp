#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

#include "platform/ui/MsgBox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QScreen>
#include <QTextEdit>
#include <QUrl>
#include <QWidget>

int sxMsgBox2(const QString& message, int style, const QString& title, int* result)
{
    const int pressed = msgBox(message, style, title);
    if (result)
        *result = pressed;
    return 0;
}

int sxCenterFormEx(QWidget* window, int)
{
    if (!window)
        return -1;
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return -1;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
    return 0;
}

int sxTextBox_SelectAll(QWidget* textBox)
{
    if (auto* line = qobject_cast<QLineEdit*>(textBox)) {
        line->selectAll();
        return 0;
    }
    if (auto* text = qobject_cast<QTextEdit*>(textBox)) {
        text->selectAll();
        return 0;
    }
    return -1;
}

int sxOpenReadMeFile(int)
{
    const QString path =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("ReadMe.TXT"));
    if (!QFileInfo::exists(path))
        return -1;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path)) ? 0 : -1;
}

int sxRegisterAppPath()
{
    return 0;
}

int sxIsInIDE(bool* result)
{
    if (!result)
        return -1;
    *result = false;
    return 0;
}

int sxGetThunderMainHandle(QWidget** result)
{
    if (!result)
        return -1;
    // The application's hidden owner window: one per process, never shown.
    static QWidget* owner = nullptr;
    if (!owner) {
        owner = new QWidget;
        owner->setAttribute(Qt::WA_DontShowOnScreen);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, owner, [] {
            delete owner;
            owner = nullptr;
        });
    }
    *result = owner;
    return 0;
}

int sxFixUserControlsContainerWindow()
{
    return 0;
}
