#pragma once
// Folders of the user's own that hold secrets or settings: made readable by the user
// alone, whatever the umask.
#include "platform/PlatformExport.h"

#include <QString>

// Makes path (and any missing parent) and leaves it mode 0700; a folder that is already
// there is narrowed to 0700. False with an errno value in error when it cannot be made,
// for example ENOTDIR when a file stands in its place.
PLATFORM_EXPORT bool makePrivateFolder(const QString& path, int* error = nullptr);
