#include "poster/service/modPublishJournal.h"

#include "poster/workflow/modApp.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTimeZone>
#include <QVariant>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString MemoryPath = QStringLiteral(":memory:");

const char* const Schema[] = {
    "CREATE TABLE IF NOT EXISTS posts ("
    " service TEXT NOT NULL,"
    " account TEXT NOT NULL,"
    " identity TEXT NOT NULL,"
    " state TEXT NOT NULL CHECK (state IN ('sending', 'published')),"
    " nonce TEXT NOT NULL,"
    " entry_id TEXT,"
    " published_at TEXT,"
    " changed_at TEXT NOT NULL,"
    " post_date TEXT NOT NULL," // the post's own date and title, for a person reading
    " title TEXT NOT NULL,"     // the file with sqlite3
    " PRIMARY KEY (service, account, identity))",
    "PRAGMA user_version = 1",
};

QString errorText(const QSqlError& error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

QString systemError(int number)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

QString utcText(const QDateTime& when)
{
    return when.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime fromUtcText(const QVariant& value)
{
    if (value.isNull())
        return {};
    QDateTime when = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    when.setTimeSpec(Qt::UTC);
    return when;
}

// A null text would be bound as NULL.
QString notNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QString accountKey(const JournalScope& scope)
{
    return notNull(scope.account.toCaseFolded());
}

// Creates the file 0600 or makes an existing one so; a missing folder is made 0700.
bool preparePrivateFile(const QString& path, QString* error)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder)) {
            *error = QStringLiteral("its folder %1 cannot be created").arg(folder);
            return false;
        }
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    }
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    struct stat status
    {
    };
    bool ok = ::fstat(fd, &status) == 0;
    if (ok && !S_ISREG(status.st_mode)) {
        *error = QStringLiteral("it is not a regular file");
        ok = false;
    } else if (ok && (status.st_mode & 0077) != 0 && ::fchmod(fd, 0600) != 0) {
        *error = systemError(errno);
        ok = false;
    }
    ::close(fd);
    return ok;
}
} // namespace

PublishJournal::PublishJournal()
    : m_connection(QStringLiteral("publish-journal-%1").arg(reinterpret_cast<quintptr>(this)))
{
}

PublishJournal::~PublishJournal()
{
    close();
}

bool PublishJournal::isOpen() const
{
    return m_empty || QSqlDatabase::contains(m_connection);
}

void PublishJournal::close()
{
    m_empty = false;
    if (!QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool PublishJournal::open(const QString& path, QString* error, bool readOnly)
{
    close();
    m_path = path;
    QString cause;
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        close();
        return false;
    };
    if (path != MemoryPath) {
        if (readOnly && !QFileInfo::exists(path)) {
            m_empty = true; // nothing recorded yet, and nothing to create
            return true;
        }
        if (!readOnly && !preparePrivateFile(path, &cause))
            return fail(cause);
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return fail(QStringLiteral("the Qt SQLite driver (QSQLITE) is not installed"));
    // The connection's objects must be gone before a failed connection is removed.
    cause = prepareDatabase(path, readOnly);
    if (!cause.isEmpty())
        return fail(cause);
    return true;
}

QString PublishJournal::prepareDatabase(const QString& path, bool readOnly)
{
    const bool memory = path == MemoryPath;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    // Another copy of the program may be writing for a moment.
    db.setConnectOptions(readOnly
                             ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000")
                             : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        return errorText(db.lastError());
    QSqlQuery query(db);
    if (readOnly)
        return query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))
                   ? QString()
                   : errorText(query.lastError());
    // A record written before a request must survive a crash or a power cut.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !query.next())
        return errorText(query.lastError());
    const QString mode = query.value(0).toString().toLower();
    if (mode != (memory ? QStringLiteral("memory") : QStringLiteral("wal")))
        return QStringLiteral("its write-ahead log cannot be used (journal mode %1)").arg(mode);
    if (!query.exec(QStringLiteral("PRAGMA synchronous = FULL")))
        return errorText(query.lastError());
    for (const char* statement : Schema)
        if (!query.exec(QString::fromLatin1(statement)))
            return errorText(query.lastError());
    // A journal that cannot take a write is refused now, before any request.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")) || !query.exec(QStringLiteral("COMMIT")))
        return errorText(query.lastError());
    return {};
}

QByteArray PublishJournal::identity(const IDiaryPost* post)
{
    QCryptographicHash hash(QCryptographicHash::Blake2b_256);
    const auto field = [&](const QString& text) {
        const QByteArray bytes = text.toUtf8();
        hash.addData(QByteArray::number(bytes.size()));
        hash.addData(QByteArrayView(":"));
        hash.addData(bytes);
    };
    hash.addData(QByteArrayView("diary-post 1\n"));
    field(post->PostDate().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")));
    field(post->Title());
    field(post->Body());
    field(post->AdultOnly() ? QStringLiteral("adult") : QStringLiteral("all"));
    return hash.result().toHex();
}

namespace {
JournalRecord recordOf(const QSqlQuery& query, int first)
{
    JournalRecord record;
    record.state = query.value(first).toString() == QLatin1String("published")
                       ? PublishState::Published
                       : PublishState::Sending;
    record.nonce = query.value(first + 1).toString();
    record.entryId = query.value(first + 2).toString();
    record.publishedAt = fromUtcText(query.value(first + 3));
    record.changedAt = fromUtcText(query.value(first + 4));
    return record;
}
} // namespace

bool PublishJournal::records(const JournalScope& scope, QHash<QByteArray, JournalRecord>* records,
                             QString* error) const
{
    records->clear();
    if (m_empty)
        return true;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen()) {
        *error = QStringLiteral("the journal is not open");
        return false;
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT identity, state, nonce, entry_id, published_at, changed_at FROM posts"
        " WHERE service = ? AND account = ?"));
    query.addBindValue(notNull(scope.service));
    query.addBindValue(accountKey(scope));
    if (!query.exec()) {
        *error = errorText(query.lastError());
        return false;
    }
    while (query.next())
        records->insert(query.value(0).toString().toLatin1(), recordOf(query, 1));
    return true;
}

bool PublishJournal::lookup(const JournalScope& scope, const QByteArray& identity,
                            JournalRecord* record, QString* error) const
{
    *record = {};
    if (m_empty)
        return true;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen()) {
        *error = QStringLiteral("the journal is not open");
        return false;
    }
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("SELECT state, nonce, entry_id, published_at, changed_at FROM posts"
                       " WHERE service = ? AND account = ? AND identity = ?"));
    query.addBindValue(notNull(scope.service));
    query.addBindValue(accountKey(scope));
    query.addBindValue(QString::fromLatin1(identity));
    if (!query.exec()) {
        *error = errorText(query.lastError());
        return false;
    }
    if (query.next())
        *record = recordOf(query, 0);
    return true;
}

bool PublishJournal::markSending(const JournalScope& scope, const QByteArray& identity,
                                 const IDiaryPost* post, const QString& nonce, QString* error)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (m_empty || !db.isOpen()) {
        *error = QStringLiteral("the journal is not open for writing");
        return false;
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "INSERT INTO posts (service, account, identity, state, nonce, changed_at, post_date,"
        " title) VALUES (?, ?, ?, 'sending', ?, ?, ?, ?)"
        " ON CONFLICT (service, account, identity) DO UPDATE SET state = 'sending',"
        " nonce = excluded.nonce, entry_id = NULL, published_at = NULL,"
        " changed_at = excluded.changed_at"));
    query.addBindValue(notNull(scope.service));
    query.addBindValue(accountKey(scope));
    query.addBindValue(QString::fromLatin1(identity));
    query.addBindValue(nonce);
    query.addBindValue(utcText(QDateTime::currentDateTimeUtc()));
    query.addBindValue(post->PostDate().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    query.addBindValue(notNull(post->Title()));
    if (!query.exec()) {
        *error = errorText(query.lastError());
        return false;
    }
    return true;
}

bool PublishJournal::markPublished(const JournalScope& scope, const QByteArray& identity,
                                   const QString& nonce, const QString& entryId,
                                   const QDateTime& when, QString* error)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (m_empty || !db.isOpen()) {
        *error = QStringLiteral("the journal is not open for writing");
        return false;
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "UPDATE posts SET state = 'published', entry_id = ?, published_at = ?, changed_at = ?"
        " WHERE service = ? AND account = ? AND identity = ? AND nonce = ?"));
    query.addBindValue(notNull(entryId));
    query.addBindValue(utcText(when));
    query.addBindValue(utcText(QDateTime::currentDateTimeUtc()));
    query.addBindValue(notNull(scope.service));
    query.addBindValue(accountKey(scope));
    query.addBindValue(QString::fromLatin1(identity));
    query.addBindValue(nonce);
    // The one record that must be on disk before anything else happens is the sending one.
    // A confirmation reaches the disk with the next record or when the journal closes; a
    // power cut before that leaves the post unconfirmed, which is the safe side: one
    // disk flush per post instead of two.
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
    const bool done = query.exec();
    pragma.exec(QStringLiteral("PRAGMA synchronous = FULL"));
    if (!done) {
        *error = errorText(query.lastError());
        return false;
    }
    if (query.numRowsAffected() != 1) {
        *error = QStringLiteral("the post's sending record is missing");
        return false;
    }
    return true;
}

QString PublishJournal::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QLatin1Char('/') + App().CompanyName + QLatin1Char('/') + App().EXEName +
           QStringLiteral("/publish-journal.sqlite");
}

namespace {
QString& journalPathSetting()
{
    static QString path;
    return path;
}
} // namespace

PublishJournal& Journal()
{
    // Closed with the application, while Qt SQL still stands; never destroyed.
    static PublishJournal* const journal = [] {
        auto* created = new PublishJournal;
        qAddPostRoutine([] { Journal().close(); });
        return created;
    }();
    return *journal;
}

QString JournalPath()
{
    const QString& chosen = journalPathSetting();
    return chosen.isEmpty() ? PublishJournal::defaultPath() : chosen;
}

void SetJournalPath(const QString& path)
{
    Journal().close();
    journalPathSetting() = path;
}

bool OpenJournal(QString* error, bool readOnly)
{
    if (Journal().isOpen())
        return true;
    const QString path = JournalPath();
    if (path != MemoryPath && path == PublishJournal::defaultPath()) {
        // The program's own folder: only the user may look into it.
        const QString folder = QFileInfo(path).absolutePath();
        if (!readOnly && QDir().mkpath(folder))
            ::chmod(QFile::encodeName(folder).constData(), 0700);
    }
    QString cause;
    if (Journal().open(path, &cause, readOnly))
        return true;
    if (error)
        *error = QStringLiteral("The publish journal %1 cannot be opened: %2.").arg(path, cause);
    return false;
}
