#include "poster/workflow/modWaitTimeSupport.h"

#include "platform/com/RuntimeError.h"

#include <QComboBox>

QStringList WaitTimeCaptions;
QStringList WaitTimeIntervals;
QStringList WaitTimeAmounts;
int WaitChoice = 1;

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

QDateTime WaitEndTime(const QDateTime& start, int row)
{
    const auto invalid = [] { raiseError(ErrInvalidProcedureCall, QStringLiteral("frmWait")); };
    if (row < 1 || row > WaitTimeIntervals.size() || row > WaitTimeAmounts.size())
        invalid();
    bool number = false;
    const qint64 amount = WaitTimeAmounts.at(row - 1).trimmed().toLongLong(&number);
    if (!number)
        invalid();
    const QString& interval = WaitTimeIntervals.at(row - 1);
    if (interval == QLatin1String("s"))
        return start.addSecs(amount);
    if (interval == QLatin1String("n"))
        return start.addSecs(amount * 60);
    if (interval == QLatin1String("h"))
        return start.addSecs(amount * 3600);
    invalid();
    return {};
}
