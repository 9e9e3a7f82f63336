#pragma once
#include <QString>

// Every CR LF pair, then every lone CR, becomes LF.
QString LineBreaksToLF(const QString& text);
