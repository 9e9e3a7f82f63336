#pragma once
// Date and time texts of the program.
#include <QDateTime>
#include <QLocale>

// "dd.mm.yyyy  hh:nn:ss AM/PM", the same in every locale.
QString ListDateText(const QDateTime& value);
// "yyyy-mm-dd hh-nn-ss" on the 24-hour clock.
QString TimeKeyText(const QDateTime& value);
// The system's general date format: short date and long time, the date alone at
// midnight. The locale is a parameter for tests; by default the system's.
QString GeneralDateText(const QDateTime& value, const QLocale& locale = QLocale::system());
