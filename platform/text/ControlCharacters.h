#pragma once
// Texts from a server or a file, made safe to show: a terminal obeys control characters
// (a CR rewrites the line, ESC starts a command, a bidirectional override reorders what
// follows), so they are written as escapes instead.
#include "platform/PlatformExport.h"

#include <QString>

// Every C0 and C1 control character, DEL, the line and paragraph separators and the
// bidirectional controls, written as \r, \n, \xHH or \uHHHH. Tabs stay; line feeds stay
// when keepLineFeeds is true (the caller's own lines), and a CR LF then becomes an LF.
PLATFORM_EXPORT QString escapeControlCharacters(const QString& text, bool keepLineFeeds = false);
