#pragma once
// modPublishJournal: the user's lasting record of what the program sent to the service
// and what the service confirmed, so that no post goes out twice across crashes,
// restarts and lost answers. One SQLite file per user; every change is on disk before
// the call returns.
//
// A post is known by a digest of its four fields as loaded, kept per service address
// and account. It is *sending* from just before its entry request starts (with that
// request's nonce) until the service confirms it, and *published* afterwards. A post
// left sending is unconfirmed: the service may or may not have stored it, and any later
// send of it goes with the recorded nonce.
#include "support/diary/DiaryPost.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

enum class PublishState {
    Unknown,   // the journal holds nothing of the post
    Sending,   // a request went out or was about to; not confirmed
    Published, // the service confirmed the entry
};

struct JournalRecord
{
    PublishState state = PublishState::Unknown;
    QString nonce;         // of the last entry request for the post
    QString entryId;       // the service's id of the entry, once published
    QDateTime publishedAt; // UTC, once published
    QDateTime changedAt;   // UTC, when the record last changed
};

// Where the posts went: the service's base address and the account's user name
// (compared without regard to case, as e-mail addresses are).
struct JournalScope
{
    QString service;
    QString account;
};

class PublishJournal
{
public:
    PublishJournal();
    ~PublishJournal();
    PublishJournal(const PublishJournal&) = delete;
    PublishJournal& operator=(const PublishJournal&) = delete;

    // Opens the journal at path, creating it (and a missing folder, 0700) when needed;
    // the file is made 0600, WAL mode with full synchronisation, and a write is tried so
    // that a journal that cannot record anything is refused here. ":memory:" keeps the
    // journal in memory. With readOnly, a missing file is an empty journal and nothing
    // is created or written. False with the cause in *error.
    bool open(const QString& path, QString* error, bool readOnly = false);
    bool isOpen() const;
    void close();
    QString path() const { return m_path; }

    // The digest of the post's date and time (to the second), title, body and adult
    // mark: the same for the same post in any file, in any run.
    static QByteArray identity(const IDiaryPost* post);

    // The record of one post; false with the cause when the journal cannot be read.
    bool lookup(const JournalScope& scope, const QByteArray& identity, JournalRecord* record,
                QString* error) const;
    // Every record of the scope by identity, for a whole file at once.
    bool records(const JournalScope& scope, QHash<QByteArray, JournalRecord>* records,
                 QString* error) const;
    // Records the post as sending with the nonce of the request about to start, on disk
    // before it returns.
    bool markSending(const JournalScope& scope, const QByteArray& identity, const IDiaryPost* post,
                     const QString& nonce, QString* error);
    // Records the confirmation of the request sent with nonce. It is written at once and
    // flushed to disk with the next record or at close (a power cut before that leaves the
    // post sending, never published wrongly).
    bool markPublished(const JournalScope& scope, const QByteArray& identity, const QString& nonce,
                       const QString& entryId, const QDateTime& when, QString* error);

    // The user's journal: publish-journal.sqlite in the program's data folder.
    static QString defaultPath();

private:
    // Opens the connection and readies the file; the cause of a failure, else empty.
    QString prepareDatabase(const QString& path, bool readOnly);

    QString m_connection;
    QString m_path;
    bool m_empty = false; // read-only on a file that does not exist
};

// The program's journal, at JournalPath() (the user's, unless a run chose another).
PublishJournal& Journal();
QString JournalPath();
// Uses another journal file from now on; the one open is closed.
void SetJournalPath(const QString& path);
// Opens the program's journal unless it is open; false with a sentence naming the file
// and the cause.
bool OpenJournal(QString* error, bool readOnly = false);
