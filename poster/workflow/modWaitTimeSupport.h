#pragma once
// The table of wait-time choices between two posts: caption, interval code ("s", "n",
// "h") and amount. Row 1 ("No wait") has neither interval nor amount.
#include <QStringList>

class QComboBox;

// Indexed from 0 here; the rows of the table are these indexes + 1.
extern QStringList WaitTimeCaptions;
extern QStringList WaitTimeIntervals;
extern QStringList WaitTimeAmounts;

// Fills the three lists with the eight rows (emptying them first, so that a second
// window does not double the table).
void InitWaitTimes();
// InitWaitTimes, then every caption into comboBox.
void FillWaitTimeList(QComboBox* comboBox);
