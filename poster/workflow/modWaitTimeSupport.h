#pragma once
// The table of wait-time choices between two posts: caption, interval code ("s", "n",
// "h") and amount. Row 1 ("No wait") has neither interval nor amount.
#include <QDateTime>
#include <QStringList>

class QComboBox;

// Indexed from 0 here; the rows of the table are these indexes + 1.
extern QStringList WaitTimeCaptions;
extern QStringList WaitTimeIntervals;
extern QStringList WaitTimeAmounts;

// The row chosen for the current run (the wait-time box's index + 1); 1 is "No wait".
extern int WaitChoice;

// Fills the three lists with the eight rows (emptying them first, so that a second
// window does not double the table).
void InitWaitTimes();
// InitWaitTimes, then every caption into comboBox.
void FillWaitTimeList(QComboBox* comboBox);

// start plus the amount of row in its interval's unit. Raises run-time error 5 for a
// row that is not in the table or has no interval or amount ("No wait").
QDateTime WaitEndTime(const QDateTime& start, int row);
