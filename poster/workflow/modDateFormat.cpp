#include "poster/workflow/modDateFormat.h"

namespace {
QString two(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}
} // namespace

QString ListDateText(const QDateTime& value)
{
    const QDate d = value.date();
    const QTime t = value.time();
    const int hour12 = t.hour() % 12 == 0 ? 12 : t.hour() % 12;
    return QStringLiteral("%1.%2.%3  %4:%5:%6 %7")
        .arg(two(d.day()), two(d.month()))
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(two(hour12), two(t.minute()), two(t.second()),
             t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

QString TimeKeyText(const QDateTime& value)
{
    const QDate d = value.date();
    const QTime t = value.time();
    return QStringLiteral("%1-%2-%3 %4-%5-%6")
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(two(d.month()), two(d.day()), two(t.hour()), two(t.minute()), two(t.second()));
}

QString GeneralDateText(const QDateTime& value, const QLocale& locale)
{
    const QString date = locale.toString(value.date(), QLocale::ShortFormat);
    if (value.time() == QTime(0, 0))
        return date;
    // The long time format may name a time zone; post times have none.
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return date + QLatin1Char(' ') + locale.toString(value.time(), format.trimmed());
}
