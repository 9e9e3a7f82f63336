#include "tools/brivet-post/JournalPlan.h"

#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>

bool PlanRun(const IDiaryPostList* posts, int skip, const JournalScope& scope, bool resend,
             bool skipUnconfirmed, JournalPlan* plan, QString* error)
{
    *plan = {};
    QHash<QByteArray, JournalRecord> known;
    if (!Journal().records(scope, &known, error))
        return false;
    const int count = posts->Count();
    plan->reports.resize(count);
    for (int i = 0; i < count; ++i) {
        const JournalRecord record =
            known.isEmpty() ? JournalRecord()
                            : known.value(PublishJournal::identity(posts->Item(i).get()));
        PostReport& report = plan->reports[i];
        if (record.state == PublishState::Published) {
            report = {PostOutcome::PublishedBefore, record.entryId, record.publishedAt, {}};
        } else if (record.state == PublishState::Sending) {
            report.outcome = PostOutcome::Unconfirmed;
            report.error = QStringLiteral("not confirmed: the program stopped or lost the "
                                          "service's answer while sending it");
        }
        if (i < skip || plan->stopAt >= 0)
            continue;
        if (record.state == PublishState::Published) {
            ++plan->publishedBefore;
            if (!plan->lastPublished.isValid() || record.publishedAt > plan->lastPublished)
                plan->lastPublished = record.publishedAt;
        } else if (record.state == PublishState::Sending && !resend) {
            if (skipUnconfirmed)
                ++plan->unconfirmedLeftOut;
            else
                plan->stopAt = i;
        } else {
            plan->queue << i;
        }
    }
    return true;
}

namespace {
QString csvField(QString text)
{
    if (text.contains(QLatin1Char('"')) || text.contains(QLatin1Char(',')) ||
        text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\""), QLatin1String("\"\""));
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

QString outcomeText(PostOutcome outcome)
{
    switch (outcome) {
    case PostOutcome::Published:
        return QStringLiteral("published");
    case PostOutcome::PublishedBefore:
        return QStringLiteral("published before");
    case PostOutcome::Unconfirmed:
        return QStringLiteral("unconfirmed");
    case PostOutcome::Failed:
        return QStringLiteral("failed");
    case PostOutcome::NotSent:
        break;
    }
    return QStringLiteral("not sent");
}
} // namespace

bool WriteRunReport(const QString& path, const IDiaryPostList* posts,
                    const QList<PostReport>& reports, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    static const QRegularExpression lineBreaks(QStringLiteral("\\s*[\\r\\n]+\\s*"));
    QString text = QStringLiteral("date,title,state,entry id,time,error\r\n");
    for (int i = 0; i < posts->Count() && i < reports.size(); ++i) {
        const auto post = posts->Item(i);
        const PostReport& report = reports[i];
        QString message = report.error;
        message.replace(lineBreaks, QStringLiteral(" "));
        text += QStringList{post->PostDate().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            csvField(post->Title()),
                            outcomeText(report.outcome),
                            csvField(report.entryId),
                            report.when.isValid() ? report.when.toUTC().toString(Qt::ISODate)
                                                  : QString(),
                            csvField(message.trimmed())}
                    .join(QLatin1Char(',')) +
                QStringLiteral("\r\n");
    }
    file.write(text.toUtf8());
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
