#include "poster/workflow/modCheckDiaryPostTimes.h"

#include "platform/ui/MsgBox.h"
#include "poster/workflow/modApp.h"
#include "poster/workflow/modDateFormat.h"

#include <exception>
#include <unordered_set>

namespace {
// Equal exactly when the time keys (TimeKeyText) are equal: the date and the time of
// day to the second. A number, as a million posts would make a million texts.
qint64 timeKey(const QDateTime& value)
{
    return value.date().toJulianDay() * 86400 + value.time().msecsSinceStartOfDay() / 1000;
}
} // namespace

bool CheckDiaryPostTimes(IDiaryPostList* posts)
{
    if (!posts || posts->Count() < 2)
        return true;

    const QString crlf = QStringLiteral("\r\n");
    QStringList duplicates;
    try {
        const int count = posts->Count();
        std::unordered_set<qint64> seen;
        seen.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            const QDateTime when = posts->Item(i)->PostDate();
            if (!seen.insert(timeKey(when)).second)
                duplicates
                    << QStringLiteral("\u2022 #%1 - %2").arg(i + 1).arg(GeneralDateText(when));
        }
    } catch (const std::exception&) {
        // A post that cannot be read is passed over; the check never fails the load.
    }
    if (duplicates.isEmpty())
        return true;

    QString text = QStringLiteral("В файле дневника найдены посты с одинакомым временем. "
                                  "При выгрузке таких постов возможны коллизии, и в конечном "
                                  "итоге из всех постов с одинаковым временем в журнале "
                                  "окажется только один.");
    text += crlf + crlf + QStringLiteral("Посты-дубли: ") + crlf + crlf;
    for (const QString& line : std::as_const(duplicates))
        text += line + crlf;
    text += crlf +
            QStringLiteral("Рекомендуется отменить загрузку, открыть файл "
                           "дневника и вручную поправить даты.") +
            crlf + crlf + QStringLiteral("Продолжить загрузку?");
    try {
        return msgBox(text, vbOKCancel | vbExclamation, App().Title) == vbOK;
    } catch (const std::exception&) {
        return true;
    }
}
