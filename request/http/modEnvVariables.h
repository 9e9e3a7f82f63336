#pragma once
#include <QString>

// Points HOME at wget's data folder for one run, remembering the value it had.
void SetWGetHome(const QString& dataPath);
// HOME as it was before SetWGetHome (absent again when it was absent or empty).
void RestoreHome();
