#include "tests/poster/WindowSystemInput.h"

#include <QInputDevice>
#include <QPointingDevice>
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

using Async = QWindowSystemInterface::AsynchronousDelivery;

namespace {
// The devices the events come from, made here: the first event would otherwise make
// them in the thread that sends it.
QWindow* windowOf(QWidget* widget)
{
    QPointingDevice::primaryPointingDevice();
    QInputDevice::primaryKeyboard();
    return widget->window()->windowHandle();
}
} // namespace

QueuedInput QueuedInput::click(QWidget* widget)
{
    QWindow* window = windowOf(widget);
    const QPoint centre = widget->rect().center();
    const QPointF local = widget->mapTo(widget->window(), centre);
    const QPointF global = widget->mapToGlobal(centre);
    QueuedInput input;
    input.m_send = [=] {
        QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::LeftButton,
                                                        Qt::LeftButton, QEvent::MouseButtonPress);
        QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::NoButton,
                                                        Qt::LeftButton, QEvent::MouseButtonRelease);
    };
    return input;
}

QueuedInput QueuedInput::key(QWidget* widget, int key)
{
    QWindow* window = windowOf(widget);
    QueuedInput input;
    input.m_send = [=] {
        QWindowSystemInterface::handleKeyEvent<Async>(window, QEvent::KeyPress, key,
                                                      Qt::NoModifier);
        QWindowSystemInterface::handleKeyEvent<Async>(window, QEvent::KeyRelease, key,
                                                      Qt::NoModifier);
    };
    return input;
}

QueuedInput QueuedInput::close(QWidget* widget)
{
    QWindow* window = windowOf(widget);
    QueuedInput input;
    input.m_send = [=] { QWindowSystemInterface::handleCloseEvent<Async>(window); };
    return input;
}

void QueuedInput::send() const
{
    m_send();
}
