#pragma once
// Where temporary files go: every process keeps them in a folder of its own,
// "kwqt-<pid>-<start time>", inside a folder that only the user can enter:
// $XDG_RUNTIME_DIR/kwqt0100 where the runtime folder is set (a memory file system,
// emptied at logout), else kwqt0100-<uid> in the temporary folder ($TMPDIR or /tmp).
// Both are 0700; a folder in their place that is not the user's own, or that others
// may enter, is refused. The process's folder goes when the program ends in order, and
// the folders of processes that were killed are removed at the next start of any of
// our programs; the start time in the name tells a reused process id apart.
#include "platform/PlatformExport.h"

#include <QString>

// This process's folder, made on first use (the folders of processes that no longer
// run are removed then). Empty, with a sentence naming the folder and the cause in
// *error, when none can be made.
PLATFORM_EXPORT QString ProcessTempFolder(QString* error = nullptr);
// The user's private folder that holds the processes' folders, for a file that is to
// outlive the process (one handed out to a caller). Empty with *error like above.
PLATFORM_EXPORT QString UserTempFolder(QString* error = nullptr);
// Removes the folders of processes that no longer run; returns how many went.
PLATFORM_EXPORT int RemoveStaleTempFolders();
// Removes this process's folders and everything in them; a later ProcessTempFolder
// makes a new one. Runs by itself when the program ends through exit().
PLATFORM_EXPORT void RemoveProcessTempFolder();
