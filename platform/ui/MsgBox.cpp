#include "platform/ui/MsgBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {
MsgBoxHook& hook()
{
    static MsgBoxHook installed;
    return installed;
}
} // namespace

void setMsgBoxHook(MsgBoxHook newHook)
{
    hook() = std::move(newHook);
}

int msgBox(const QString& prompt, int style, const QString& title)
{
    if (hook())
        return hook()(prompt, style, title);

    QMessageBox box(QApplication::activeWindow());
    box.setText(prompt);
    box.setWindowTitle(title.isEmpty() ? QApplication::applicationDisplayName() : title);
    switch (style & 0x70) {
    case 16:
        box.setIcon(QMessageBox::Critical);
        break;
    case 32:
        box.setIcon(QMessageBox::Question);
        break;
    case 48:
        box.setIcon(QMessageBox::Warning);
        break;
    case 64:
        box.setIcon(QMessageBox::Information);
        break;
    }
    struct Choice
    {
        QMessageBox::StandardButton button;
        int answer;
    };
    QList<Choice> choices;
    switch (style & 0x0F) {
    case 1:
        choices = {{QMessageBox::Ok, vbOK}, {QMessageBox::Cancel, vbCancel}};
        break;
    case 2:
        choices = {{QMessageBox::Abort, vbAbort},
                   {QMessageBox::Retry, vbRetry},
                   {QMessageBox::Ignore, vbIgnore}};
        break;
    case 3:
        choices = {
            {QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}, {QMessageBox::Cancel, vbCancel}};
        break;
    case 4:
        choices = {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}};
        break;
    case 5:
        choices = {{QMessageBox::Retry, vbRetry}, {QMessageBox::Cancel, vbCancel}};
        break;
    default:
        choices = {{QMessageBox::Ok, vbOK}};
    }
    QMessageBox::StandardButtons buttons;
    for (const Choice& choice : choices)
        buttons |= choice.button;
    box.setStandardButtons(buttons);
    box.setDefaultButton(choices.first().button);
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const Choice& choice : choices)
        if (choice.button == pressed)
            return choice.answer;
    // Closed without a button: the box's cancel answer, or OK for a plain box.
    return choices.size() > 1 ? vbCancel : vbOK;
}
