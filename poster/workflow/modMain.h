#pragma once
#include <QString>

// Asks for a diary file, starting in the folder of the last one; the chosen full
// path, or an empty text when the user cancels.
QString AskDiaryFileName();
