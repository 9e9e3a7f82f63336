#pragma once
// The part of KWQT0100 that needs Qt Widgets, the proxy settings dialog and the busy
// pointer, lives in libKWQT0100UI.so beside the component. The component loads it when
// it first needs a window (modUserInterface), so that its clients without windows map
// no GUI library. These are its entry points.
struct _ProxySettings;

constexpr char KWQT0100UILibrary[] = "libKWQT0100UI.so";

extern "C" {
// Shows the modal proxy settings dialog for settings; true when the user confirmed.
using ShowProxyConfigDialogFunction = bool (*)(_ProxySettings* settings);
constexpr char ShowProxyConfigDialogSymbol[] = "KwqtShowProxyConfigDialog";

// Switches the screen's pointer to the hourglass (true) or back (false).
using SetBusyCursorFunction = void (*)(bool busy);
constexpr char SetBusyCursorSymbol[] = "KwqtSetBusyCursor";
}
