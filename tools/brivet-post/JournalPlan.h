#pragma once
// brivet-post's view of the publish journal: which posts of the file go out in this run,
// and the CSV report of every post after it.
#include "poster/service/modPublishJournal.h"
#include "support/diary/DiaryPost.h"

#include <QList>
#include <QString>

enum class PostOutcome {
    NotSent,
    Published,       // in this run
    PublishedBefore, // the journal held it as published; left out
    Unconfirmed,     // the journal holds it as sending; not sent in this run
    Failed,          // sent in this run and not confirmed
};

struct PostReport
{
    PostOutcome outcome = PostOutcome::NotSent;
    QString entryId;
    QDateTime when; // UTC: when it was published
    QString error;
};

struct JournalPlan
{
    QList<int> queue;           // indexes of the posts to send, in file order
    QList<PostReport> reports;  // one per post of the file, from the journal
    int publishedBefore = 0;    // left out of the queue
    QDateTime lastPublished;    // the last of them
    int unconfirmedLeftOut = 0; // with skipUnconfirmed
    int stopAt = -1;            // the first unconfirmed post, when neither option is given
};

// Plans the run over the posts from index skip on. An unconfirmed post is sent again
// (resend), left out (skipUnconfirmed), or ends the queue before it (stopAt). False with
// the cause when the journal cannot be read.
bool PlanRun(const IDiaryPostList* posts, int skip, const JournalScope& scope, bool resend,
             bool skipUnconfirmed, JournalPlan* plan, QString* error);

// Writes date, title, state, entry id, time and error text of every post, with a header
// line, as CSV (RFC 4180) in UTF-8. False with the cause.
bool WriteRunReport(const QString& path, const IDiaryPostList* posts,
                    const QList<PostReport>& reports, QString* error);
