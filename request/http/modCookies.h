#pragma once
#include <QString>

// "# Netscape HTTP Cookie File" and two CR LF pairs.
QString CookieFileHeader();
// The cookie lines of a cookie file, trimmed, each ended by CR LF; comments and empty
// lines dropped.
QString CookiesFromCookieFile(const QString& text);
