#include "poster/workflow/modCheckPublishedPosts.h"

#include "platform/ui/MsgBox.h"
#include "poster/service/modPostSender.h"
#include "poster/service/modPublishJournal.h"
#include "poster/workflow/modApp.h"
#include "poster/workflow/modDateFormat.h"

namespace {
const QString Crlf = QStringLiteral("\r\n");
// A box names at most this many posts; the rest are counted.
constexpr int ListedPosts = 20;

// "• #n - date" for each post, as the duplicate warning lists them, bounded.
QString listing(IDiaryPostList* posts, const QList<int>& indexes)
{
    QString text;
    for (int i = 0; i < indexes.size() && i < ListedPosts; ++i)
        text += QStringLiteral("\u2022 #%1 - %2")
                    .arg(indexes[i] + 1)
                    .arg(GeneralDateText(posts->Item(indexes[i])->PostDate())) +
                Crlf;
    if (indexes.size() > ListedPosts)
        text += QStringLiteral("\u2022 \u2026and %1 more").arg(indexes.size() - ListedPosts) + Crlf;
    return text;
}

void journalUnreadable(const QString& error)
{
    msgBox(error + Crlf + Crlf +
               QStringLiteral("Posts published before cannot be recognised, and no post "
                              "can be sent until the journal can be used."),
           vbExclamation, App().Title);
}
} // namespace

QList<bool> CheckPublishedPosts(IDiaryPostList* posts)
{
    if (!posts || posts->Count() == 0)
        return {};
    QString error;
    if (!OpenJournal(&error)) {
        journalUnreadable(error);
        return {};
    }
    // One query for the whole file; a file that the journal cannot know costs no digests.
    QHash<QByteArray, JournalRecord> known;
    if (!Journal().records(ServiceJournalScope(), &known, &error)) {
        journalUnreadable(QStringLiteral("The publish journal %1 cannot be read: %2.")
                              .arg(Journal().path(), error));
        return {};
    }
    if (known.isEmpty())
        return {};
    const int count = posts->Count();
    QList<int> published, unconfirmed;
    QDateTime last;
    for (int i = 0; i < count; ++i) {
        const JournalRecord record = known.value(PublishJournal::identity(posts->Item(i).get()));
        if (record.state == PublishState::Published) {
            published << i;
            if (!last.isValid() || record.publishedAt > last)
                last = record.publishedAt;
        } else if (record.state == PublishState::Sending) {
            unconfirmed << i;
        }
    }
    if (published.isEmpty() && unconfirmed.isEmpty())
        return {};

    QList<bool> keep(count, true);
    if (!published.isEmpty()) {
        const QString text =
            QStringLiteral("%1 of the %2 posts in this file were published on Brivet before, "
                           "the last of them on %3.")
                .arg(published.size())
                .arg(count)
                .arg(GeneralDateText(last.toLocalTime())) +
            Crlf + Crlf + QStringLiteral("Published before: ") + Crlf + Crlf +
            listing(posts, published) + Crlf +
            QStringLiteral("Leave them out of the queue? (Cancel queues them all.)");
        if (msgBox(text, vbOKCancel | vbExclamation, App().Title) == vbOK)
            for (int i : published)
                keep[i] = false;
    }
    if (!unconfirmed.isEmpty()) {
        const QString text =
            QStringLiteral("The program stopped, or lost the service's answer, while sending "
                           "%1 of the posts in this file, so Brivet may or may not have "
                           "stored them.")
                .arg(unconfirmed.size()) +
            Crlf + Crlf + QStringLiteral("Not confirmed: ") + Crlf + Crlf +
            listing(posts, unconfirmed) + Crlf +
            QStringLiteral("They will go out again with the same request, which a service "
                           "that recognises its nonce does not store twice. Check them on "
                           "Brivet afterwards.") +
            Crlf + Crlf + QStringLiteral("Queue them again? (Cancel leaves them out.)");
        if (msgBox(text, vbOKCancel | vbExclamation, App().Title) != vbOK)
            for (int i : unconfirmed)
                keep[i] = false;
    }
    return keep;
}
