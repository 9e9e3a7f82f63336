#pragma once
#include <QString>

// The component's title and version (major, minor, revision).
constexpr const char* ComponentTitle = "Olvane - KWQT";
constexpr int VersionMajor = 1;
constexpr int VersionMinor = 0;
constexpr int VersionRevision = 9;

// "Mozilla/4.0 (compatible; Windows NT 6.1) Olvane - KWQT/1.0.9"; the short form
// names no system: "Mozilla/4.0 (compatible) Olvane - KWQT/1.0.9".
QString FormatUserAgent(bool shortForm);
