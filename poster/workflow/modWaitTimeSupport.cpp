#include "poster/workflow/modWaitTimeSupport.h"

#include <QComboBox>

QStringList WaitTimeCaptions;
QStringList WaitTimeIntervals;
QStringList WaitTimeAmounts;

void InitWaitTimes()
{
    WaitTimeCaptions = {QStringLiteral("No wait"), QStringLiteral("3 sec."),
                        QStringLiteral("30 sec."), QStringLiteral("1 min."),
                        QStringLiteral("8 min."),  QStringLiteral("16 min."),
                        QStringLiteral("32 min."), QStringLiteral("1 hr.")};
    WaitTimeIntervals = {QString(),           QStringLiteral("s"), QStringLiteral("s"),
                         QStringLiteral("n"), QStringLiteral("n"), QStringLiteral("n"),
                         QStringLiteral("n"), QStringLiteral("h")};
    WaitTimeAmounts = {
        QString(),           QStringLiteral("3"),  QStringLiteral("30"), QStringLiteral("1"),
        QStringLiteral("8"), QStringLiteral("16"), QStringLiteral("32"), QStringLiteral("1")};
}

void FillWaitTimeList(QComboBox* comboBox)
{
    InitWaitTimes();
    comboBox->addItems(WaitTimeCaptions);
}
