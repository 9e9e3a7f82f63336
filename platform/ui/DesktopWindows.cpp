#include "platform/ui/DesktopWindows.h"

#include "platform/PlatformExport.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

extern "C" PLATFORM_EXPORT QString olvWindowName(QWidget* window)
{
    return window->objectName();
}

extern "C" PLATFORM_EXPORT QRect olvWindowPlacement(QWidget* window)
{
    return window->isMaximized() || window->isMinimized() ? window->normalGeometry()
                                                          : QRect(window->pos(), window->size());
}

extern "C" PLATFORM_EXPORT bool olvPlaceWindow(QWidget* window, const QRect& rect)
{
    // A placement on a screen that is gone counts as none: the window gets centred.
    if (!QGuiApplication::screenAt(rect.topLeft() + QPoint(8, 8)))
        return false;
    window->resize(rect.size());
    window->move(rect.topLeft());
    return true;
}
