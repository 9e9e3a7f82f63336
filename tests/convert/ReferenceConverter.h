#pragma once
// The converter as a plain pass-by-pass port, each pass rebuilding the whole text,
// kept only to check the fast converter character for character.
#include <QString>

QString ReferenceConvertPostBody(const QString& body, bool convertLineBreaks);
