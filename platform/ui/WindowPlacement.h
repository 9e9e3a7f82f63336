#pragma once
// Window placement for the settings store, which keeps placements without needing the
// widget libraries itself.
#include "platform/PlatformExport.h"

#include <QRect>
#include <QString>

class QWidget;

// The window's object name; empty when there is no window system.
PLATFORM_EXPORT QString windowName(QWidget* window);
// The window's normal position and size; false when there is no window system.
PLATFORM_EXPORT bool windowPlacement(QWidget* window, QRect* rect);
// Moves and resizes the window; false when rect lies on no screen that is there now.
PLATFORM_EXPORT bool placeWindow(QWidget* window, const QRect& rect);
