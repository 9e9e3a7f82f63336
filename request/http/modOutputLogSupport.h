#pragma once
#include <QString>

// wget's log with every progress block (the lines between an odd and the next even
// empty line) replaced by "*** PROGRESS WAS REMOVED ***".
QString CleanOutputLog(const QString& text);
