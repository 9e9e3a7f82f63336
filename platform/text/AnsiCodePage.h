#pragma once
// The system's 8-bit ("ANSI") code page, decided in one place: Windows-1251 for
// Cyrillic-script locales, Windows-1252 otherwise, as Windows derives it.
#include "platform/PlatformExport.h"

#include <QByteArray>
#include <QString>

PLATFORM_EXPORT int ansiCodePage();
// Tests pin the code page; 0 goes back to the system locale's.
PLATFORM_EXPORT void setAnsiCodePage(int codePage);

// Characters the code page lacks become '?'. codePage 0 means ansiCodePage().
PLATFORM_EXPORT QByteArray toAnsi(const QString& text, int codePage = 0);
PLATFORM_EXPORT QString fromAnsi(const QByteArray& bytes, int codePage = 0);
PLATFORM_EXPORT QString fromAnsi(const char* data, qsizetype size, int codePage = 0);
