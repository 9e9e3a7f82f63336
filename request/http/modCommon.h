#pragma once
#include <QString>

// A value made ready to stand between double quotes on a command line, so that the
// command-line rules hand it to the program exactly: n backslashes before a double
// quote become 2n + 1 and the quote follows, n backslashes at the end become 2n, zero
// characters are removed, everything else stays.
QString EscapeArgument(const QString& text);

// Every line break (CR LF, a bare LF, a bare CR) becomes CR LF; LF CR is two breaks.
QString NormalizeLineBreaks(const QString& text);

// folder joined with name by exactly one separator (sxBuildFileName2); raises on failure.
QString JoinFileName(const QString& folder, const QString& name);
