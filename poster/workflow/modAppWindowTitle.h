#pragma once
#include <QString>

// The title of every window of the program: base (the program's title without its
// "Olvane - " prefix when empty), then " :: " and suffix when suffix is not empty.
QString WindowTitle(const QString& base = {}, const QString& suffix = {});
