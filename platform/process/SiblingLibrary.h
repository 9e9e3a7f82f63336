#pragma once
// Parts of the system that pull in heavy libraries (widgets, the desktop's keychain) live
// in libraries of their own beside the one that uses them, and are loaded on first use
// so that a process which never needs them never maps them.
#include "platform/PlatformExport.h"

#include <QString>

// The address of symbol: from the libraries the program links, or else from fileName, a
// library in the folder of the library (or program) that holds anchor, loaded once and
// kept for the rest of the run. Null, with the loader's reason in error (when given),
// when it cannot be loaded or lacks the symbol.
PLATFORM_EXPORT void* siblingSymbol(const void* anchor, const char* fileName, const char* symbol,
                                    QString* error = nullptr);

// True when the process runs a Qt application of the given class or one derived from it
// ("QGuiApplication", "QApplication"); asked without linking the GUI libraries.
PLATFORM_EXPORT bool applicationInherits(const char* className);
