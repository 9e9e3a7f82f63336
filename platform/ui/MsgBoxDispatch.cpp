// The message-box function as every part of the system calls it: the test hook, the
// window of libolvplatformui in a program with windows, or standard error in a tool
// without them.
#include "platform/ui/MsgBox.h"

#include "platform/process/SiblingLibrary.h"
#include "platform/ui/DesktopWindows.h"

#include <cstdio>

namespace {
MsgBoxHook& hook()
{
    static MsgBoxHook installed;
    return installed;
}

QString& defaultTitle()
{
    static QString title;
    return title;
}

MsgBoxWindowFunction window(QString* error)
{
    static QString reason;
    static const auto function = reinterpret_cast<MsgBoxWindowFunction>(
        siblingSymbol(reinterpret_cast<const void*>(&msgBox), DesktopWindowsLibrary,
                      MsgBoxWindowSymbol, &reason));
    *error = reason;
    return function;
}

// Without a window the text is written where the user of a tool reads it, and the
// answer is that of a box closed without pressing a button.
int onConsole(const QString& prompt, int style, const QString& title, const QString& why)
{
    QString text = title.isEmpty() ? prompt : title + QStringLiteral(": ") + prompt;
    if (!why.isEmpty())
        text += QStringLiteral(" (no message box: %1)").arg(why);
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    const int buttons = style & 0x0F;
    return buttons >= 1 && buttons <= 5 ? vbCancel : vbOK;
}
} // namespace

void setMsgBoxHook(MsgBoxHook newHook)
{
    hook() = std::move(newHook);
}

void setMsgBoxDefaultTitle(const QString& title)
{
    defaultTitle() = title;
}

int msgBox(const QString& prompt, int style, const QString& givenTitle)
{
    const QString title = givenTitle.isEmpty() ? defaultTitle() : givenTitle;
    if (hook())
        return hook()(prompt, style, title);
    if (!applicationInherits("QApplication"))
        return onConsole(prompt, style, title, QString());
    QString error;
    if (const MsgBoxWindowFunction show = window(&error))
        return show(prompt, style, title);
    return onConsole(prompt, style, title, error);
}
