#include "poster/workflow/modCheckDiaryPostTimes.h"

#include "platform/ui/MsgBox.h"
#include "poster/workflow/modApp.h"
#include "poster/workflow/modDateFormat.h"

#include <QSet>
#include <exception>

bool CheckDiaryPostTimes(IDiaryPostList* posts)
{
    if (!posts || posts->Count() < 2)
        return true;

    const QString crlf = QStringLiteral("\r\n");
    QStringList duplicates;
    try {
        QSet<QString> seen;
        const int count = posts->Count();
        for (int i = 0; i < count; ++i) {
            const ComPtr<IDiaryPost> post = posts->Item(i);
            const QString key = TimeKeyText(post->PostDate());
            if (seen.contains(key))
                duplicates << QStringLiteral("\u2022 #%1 - %2")
                                  .arg(i + 1)
                                  .arg(GeneralDateText(post->PostDate()));
            else
                seen.insert(key);
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
