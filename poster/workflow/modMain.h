#pragma once
#include <QSocketNotifier>
#include <QString>
#include <memory>

// The key under which the program tells a second running copy of itself.
extern const QString AppInstanceKey;

// The program's entry: names the application, reads the command line, and opens the
// logon window when no other copy runs (a second copy asks the first to show itself
// and ends). Runs the event loop while a window is open; returns the exit code (2 for
// a command line that cannot be used).
int StartUp();

// SIGTERM, SIGINT or SIGHUP end every event loop of the program with 128 + the signal:
// the request in flight stops by itself and no other starts, and the temporary files
// go as the program exits. Also removes what killed runs left. Keep the watcher for as
// long as the program runs (empty when no signal can be watched).
std::unique_ptr<QSocketNotifier> WatchTerminationSignals();

// The program's names for the desktop and for the settings store. No display name is
// set: the window system would add it to every window title.
void SetApplicationIdentity();

// Asks for a diary file, starting in the folder of the last one; the chosen full
// path, or an empty text when the user cancels.
QString AskDiaryFileName();
