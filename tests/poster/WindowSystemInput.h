#pragma once
// Input as the window system delivers it: events queued for the application's event
// loop. A click or a key press made while the program is busy waits there until the
// loop reads it, and a modal window then drops what goes to the windows it blocks.
#include <QEvent>
#include <QPointF>
#include <functional>

class QWidget;
class QWindow;

class QueuedInput
{
public:
    // Made in the user-interface thread, which knows where things are on the screen.
    // A left-button click in the middle of widget:
    static QueuedInput click(QWidget* widget);
    // A press and release of key with no modifiers, to widget's window:
    static QueuedInput key(QWidget* widget, int key);
    // A request to close widget's window, as its title bar's close box makes:
    static QueuedInput close(QWidget* widget);

    // Queues the events; safe from any thread.
    void send() const;

private:
    std::function<void()> m_send;
};
