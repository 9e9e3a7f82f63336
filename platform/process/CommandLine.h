#pragma once
// Command lines as one string, quoted by Windows rules, split into argv by the rules of
// the Microsoft C runtime, so that a value quoted by quoteArgument arrives exactly.
#include "platform/PlatformExport.h"

#include <QStringList>

// The first token (the program) ends at the first blank outside double quotes; quotes
// only group. In later tokens, 2n backslashes before a double quote give n backslashes
// and the quote toggles quoting; 2n+1 give n backslashes and a literal quote; inside
// quotes a doubled quote gives one literal quote; other backslashes are literal.
PLATFORM_EXPORT QStringList splitCommandLine(const QString& commandLine);
