#pragma once
// The entry points of libolvplatformui, the part of the platform layer that needs Qt
// Widgets. Callers in the core reach them by name (siblingSymbol), so that processes
// without windows never load the widget libraries.
#include <QRect>
#include <QString>

class QWidget;

constexpr char DesktopWindowsLibrary[] = "libolvplatformui.so";

extern "C" {
// The message box itself (see msgBox); returns the button pressed.
using MsgBoxWindowFunction = int (*)(const QString& prompt, int style, const QString& title);
constexpr char MsgBoxWindowSymbol[] = "olvMsgBoxWindow";

// The window's object name.
using WindowNameFunction = QString (*)(QWidget* window);
constexpr char WindowNameSymbol[] = "olvWindowName";

// The window's position and size in its normal (not maximised or minimised) state.
using WindowPlacementFunction = QRect (*)(QWidget* window);
constexpr char WindowPlacementSymbol[] = "olvWindowPlacement";

// Moves and resizes the window to rect; false, leaving the window alone, when rect lies
// on no screen that is there now.
using PlaceWindowFunction = bool (*)(QWidget* window, const QRect& rect);
constexpr char PlaceWindowSymbol[] = "olvPlaceWindow";
}
