#include "platform/ui/WindowPlacement.h"

#include "platform/process/SiblingLibrary.h"
#include "platform/ui/DesktopWindows.h"

namespace {
template <typename Function> Function windowFunction(const char* symbol)
{
    return reinterpret_cast<Function>(
        siblingSymbol(reinterpret_cast<const void*>(&placeWindow), DesktopWindowsLibrary, symbol));
}
} // namespace

QString windowName(QWidget* window)
{
    static const auto function = windowFunction<WindowNameFunction>(WindowNameSymbol);
    return window && function ? function(window) : QString();
}

bool windowPlacement(QWidget* window, QRect* rect)
{
    static const auto function = windowFunction<WindowPlacementFunction>(WindowPlacementSymbol);
    if (!window || !function)
        return false;
    *rect = function(window);
    return true;
}

bool placeWindow(QWidget* window, const QRect& rect)
{
    static const auto function = windowFunction<PlaceWindowFunction>(PlaceWindowSymbol);
    return window && function && function(window, rect);
}
