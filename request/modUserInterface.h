#pragma once
// The component's windows, reached through libKWQT0100UI.so, which is loaded on first
// use (see KWQT0100UI.h).
struct _ProxySettings;

// Opens the proxy settings dialog for settings; true when the user confirmed. Raises
// error 5 without a desktop application, and a run-time error when the dialog's
// library cannot be loaded.
bool OpenProxyConfigDialog(_ProxySettings* settings);

// The hourglass while wget runs, where there is a screen to show it on.
class HourglassCursor
{
public:
    explicit HourglassCursor(bool wanted);
    ~HourglassCursor();
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;

private:
    bool m_on = false;
};
