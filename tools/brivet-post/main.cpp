// brivet-post: publishes the posts of one diary file on Brivet without a window, with
// the same client code as the program. Reports go to standard error instead of boxes.
#include "platform/com/ClassRegistry.h"
#include "platform/process/ProcessTempFolder.h"
#include "platform/process/TerminationSignals.h"
#include "platform/text/ControlCharacters.h"
#include "platform/ui/MsgBox.h"
#include "poster/convert/modConverter.h"
#include "poster/service/ErrorReporter.h"
#include "poster/service/modPasswordCryptor.h"
#include "poster/service/modPostSender.h"
#include "poster/service/modServiceAddress.h"
#include "poster/workflow/UploadRun.h"
#include "poster/workflow/modApp.h"
#include "support/diary/DiaryFileReader.h"
#include "support/settings/SettingsStore.h"
#include "tools/brivet-post/JournalPlan.h"
#include "tools/common/SecretInput.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int ExitPublished = 0;
constexpr int ExitPostsLeft = 1;
constexpr int ExitBadArguments = 2;

void write(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// A message line. Its texts may come from the server or the diary file, so their control
// characters are shown as escapes rather than obeyed by the terminal.
void out(FILE* stream, const QString& text)
{
    write(stream, escapeControlCharacters(text, true));
}

int bad(const QString& text)
{
    out(stderr, QStringLiteral("brivet-post: ") + text);
    return ExitBadArguments;
}

// Reads a line from the terminal with echo off; false when there is no terminal.
bool askPassword(const QString& prompt, QString* password)
{
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return false;
    termios saved{};
    const int fd = fileno(tty);
    if (tcgetattr(fd, &saved) != 0) {
        std::fclose(tty);
        return false;
    }
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(fd, TCSAFLUSH, &quiet);
    std::fputs(escapeControlCharacters(prompt).toLocal8Bit().constData(), tty);
    std::fflush(tty);
    QByteArray line;
    for (int c = std::fgetc(tty); c != EOF && c != '\n'; c = std::fgetc(tty))
        line.append(static_cast<char>(c));
    tcsetattr(fd, TCSAFLUSH, &saved);
    std::fputc('\n', tty);
    std::fclose(tty);
    *password = QString::fromLocal8Bit(line);
    line.fill('\0');
    return true;
}

// What the last report said, for the run's report file.
QString& LastReportText()
{
    static QString text;
    return text;
}

// Answers Retry to the first `retries` failures of each request, Cancel after.
ErrorReporter::Sink consoleSink(int retries)
{
    return [retries, url = QString(), failures = 0](const ErrorReport& report) mutable {
        out(stderr, report.text);
        LastReportText() = report.text;
        if (report.requestUrl.isEmpty())
            return vbOK;
        if (report.requestUrl != url) {
            url = report.requestUrl;
            failures = 0;
        }
        if (++failures <= retries) {
            out(stderr, QStringLiteral("Retrying (%1 of %2).").arg(failures).arg(retries));
            return vbRetry;
        }
        return vbCancel;
    };
}

// The run over the queued posts of the file; a published post is passed over from then
// on, as the window's queue drops it. Posts are numbered by their place in the file.
class CommandLineRun : public UploadRunSteps
{
public:
    CommandLineRun(const IDiaryPostList* posts, const QList<int>& queue, bool dryRun,
                   QList<PostReport>* reports)
        : m_posts(posts), m_queue(queue), m_dryRun(dryRun), m_reports(reports)
    {
    }
    int PostsLeft() const override { return static_cast<int>(m_queue.size()) - m_next; }
    void SelectFirstPost() override {}
    void ShowStatus(const QString& text) override
    {
        if (text == StoppedStatus)
            return;
        out(stdout, text.startsWith(QStringLiteral("Uploading post "))
                        ? UploadingStatus(current() + 1, m_posts->Count())
                        : text);
    }
    void ProcessInput() override { QCoreApplication::processEvents(); }
    bool StopRequested() const override { return TerminationRequested(); }
    bool SendFirstPost() override
    {
        const ComPtr<IDiaryPost> post = m_posts->Item(current());
        if (m_dryRun) {
            try {
                // The body is data, printed as it would be sent.
                write(stdout, EntryRequestBody(ConvertPostBody(post->Body(), true), post->Title(),
                                               post->AdultOnly(), QStringLiteral("%PROFILE_ID%")));
                return true;
            } catch (const RuntimeError& error) { // a body the converter refuses
                out(stderr,
                    ErrorReporter::RunTimeErrorText(error, QStringLiteral("Can't send post.")));
                return false;
            }
        }
        PostReport& report = (*m_reports)[current()];
        LastReportText().clear();
        bool published = false;
        try {
            published = SendPost(post, true, false);
        } catch (const RuntimeError& error) {
            LastReportText() =
                ErrorReporter::RunTimeErrorText(error, QStringLiteral("Can't send post."));
            out(stderr, LastReportText());
        }
        JournalRecord record;
        QString error;
        if (published) {
            Journal().lookup(ServiceJournalScope(), PublishJournal::identity(post.get()), &record,
                             &error);
            report = {PostOutcome::Published, record.entryId, record.publishedAt, {}};
        } else if (!LastReportText().isEmpty()) {
            report = {PostOutcome::Failed, {}, {}, LastReportText()};
        }
        return published;
    }
    void RemoveFirstPost() override { ++m_next; }
    bool WaitBeforeNextPost() override { return !TerminationRequested(); }

    // The file index of the first post left.
    int current() const { return m_queue.at(m_next); }

private:
    const IDiaryPostList* m_posts;
    QList<int> m_queue;
    int m_next = 0;
    bool m_dryRun;
    QList<PostReport>* m_reports;
};

QString postName(const IDiaryPostList* posts, int index)
{
    const auto post = posts->Item(index);
    return QStringLiteral("Post %1 of %2 (%3%4)")
        .arg(index + 1)
        .arg(posts->Count())
        .arg(post->PostDate().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             post->Title().isEmpty() ? QString() : QStringLiteral(", \"%1\"").arg(post->Title()));
}

// Uploads the planned posts in order, stopping at the first that is not published.
// False when posts are left.
bool uploadPosts(const IDiaryPostList* posts, JournalPlan* plan, bool dryRun)
{
    const int total = posts->Count();
    if (plan->publishedBefore > 0)
        out(stdout, QStringLiteral("Left out %1 posts published before (the last of them on %2).")
                        .arg(plan->publishedBefore)
                        .arg(plan->lastPublished.toLocalTime().toString(Qt::ISODate)));
    if (plan->unconfirmedLeftOut > 0)
        out(stdout, QStringLiteral("Left out %1 unconfirmed posts (--skip-unconfirmed).")
                        .arg(plan->unconfirmedLeftOut));
    CommandLineRun steps(posts, plan->queue, dryRun, &plan->reports);
    const UploadRunResult result = RunUpload(steps, 1);
    if (result.end != UploadRunEnd::AllDone) {
        const int index = steps.current();
        JournalRecord record;
        QString error;
        Journal().lookup(ServiceJournalScope(), PublishJournal::identity(posts->Item(index).get()),
                         &record, &error);
        out(stdout, QStringLiteral("Post %1 of %2 was not published; %3 published in this run. "
                                   "Run the same command again to go on%4.")
                        .arg(index + 1)
                        .arg(total)
                        .arg(result.published)
                        .arg(record.state == PublishState::Sending
                                 ? QStringLiteral("; add --resend-unconfirmed to send post %1 "
                                                  "again with the same request")
                                       .arg(index + 1)
                                 : QString()));
        return false;
    }
    if (plan->stopAt >= 0) {
        out(stdout,
            postName(posts, plan->stopAt) +
                QStringLiteral(" is unconfirmed: the program stopped or lost the service's answer "
                               "while sending it, so Brivet may have stored it. Check it on "
                               "Brivet, then run again with --resend-unconfirmed to send it with "
                               "the same request (a service that recognises the request's nonce "
                               "does not store it twice), or with --skip-unconfirmed to leave it "
                               "out."));
        if (result.published > 0)
            out(stdout, QStringLiteral("Published %1 posts before it.").arg(result.published));
        return false;
    }
    out(stdout, dryRun
                    ? QStringLiteral("Dry run: %1 of %2 posts shown, nothing sent.")
                          .arg(plan->queue.size())
                          .arg(total)
                    : QStringLiteral("Published %1 of %2 posts.").arg(result.published).arg(total));
    return true;
}

// A value that the logon window stored in the program's main settings section.
QString rememberedValue(const QString& key)
{
    QVariant value;
    const auto store = createObject<ISettingsStore>(CLSID_SettingsStore);
    if (FAILED(store->GetValue(QString(), key, skText, QString(), App(), true, &value)))
        return {};
    return value.toString();
}

bool parseCount(const QString& text, int* value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value >= 0;
}
} // namespace

int main(int argc, char* argv[])
{
    // Taken out of the environment at once, so that no child (wget) inherits it.
    const QString environmentPassword = takeEnvironmentSecret("BRIVET_PASSWORD");
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(App().EXEName);
    QCoreApplication::setOrganizationName(App().CompanyName);
    // SIGTERM, SIGINT and SIGHUP stop the request in flight and the run; the temporary
    // files go as the program exits.
    InstallTerminationHandlers();
    RemoveStaleTempFolders();
    RegisterComponentClasses();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Publishes every post of a diary export file on Brivet, in file order, and stops at "
        "the first post that is not published.\nThe password comes from the environment "
        "variable BRIVET_PASSWORD, from --password-file, or is asked on the terminal."));
    parser.addHelpOption();
    const QCommandLineOption address(QStringLiteral("service-address"),
                                     QStringLiteral("the service's address (http or https, no "
                                                    "trailing slash) instead of %1")
                                         .arg(ServiceBaseAddress()),
                                     QStringLiteral("URL"));
    const QCommandLineOption caFile(QStringLiteral("ca-certificate"),
                                    QStringLiteral("also trust the authority in this PEM file "
                                                   "for the service's certificate"),
                                    QStringLiteral("FILE"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("the account's e-mail"),
                                  QStringLiteral("EMAIL"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("read the password from this file"),
                                          QStringLiteral("FILE"));
    const QCommandLineOption retries(QStringLiteral("retries"),
                                     QStringLiteral("send a failed request again up to N times "
                                                    "(default 0)"),
                                     QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption skip(QStringLiteral("skip"),
                                  QStringLiteral("start after the first N posts"),
                                  QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption maxTime(
        QStringLiteral("max-time"),
        QStringLiteral("stop a service request that has not ended after SECONDS (default %1)")
            .arg(ServiceTimeLimit()),
        QStringLiteral("SECONDS"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("print each post's request body; send nothing"));
    const QCommandLineOption remembered(
        QStringLiteral("remembered"),
        QStringLiteral("use the user name and password that the logon window remembered "
                       "where none is given"));
    const QCommandLineOption journal(QStringLiteral("journal"),
                                     QStringLiteral("the publish journal to use instead of %1")
                                         .arg(PublishJournal::defaultPath()),
                                     QStringLiteral("FILE"));
    const QCommandLineOption resendUnconfirmed(
        QStringLiteral("resend-unconfirmed"),
        QStringLiteral("send a post that the journal holds as unconfirmed again, with the "
                       "request it went with"));
    const QCommandLineOption skipUnconfirmed(
        QStringLiteral("skip-unconfirmed"),
        QStringLiteral("leave out the posts that the journal holds as unconfirmed"));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("write a CSV line for every post of the file "
                                                   "after the run"),
                                    QStringLiteral("FILE"));
    parser.addOptions({address, caFile, user, passwordFile, remembered, retries, skip, maxTime,
                       dryRun, journal, resendUnconfirmed, skipUnconfirmed, report});
    parser.addPositionalArgument(QStringLiteral("DIARY-FILE"),
                                 QStringLiteral("the diary export file to publish"));
    if (!parser.parse(QCoreApplication::arguments()))
        return bad(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        out(stdout, parser.helpText());
        return ExitPublished;
    }
    if (parser.positionalArguments().size() != 1)
        return bad(QStringLiteral("give exactly one diary file (see --help)"));
    int retryCount = 0, skipCount = 0;
    if (!parseCount(parser.value(retries), &retryCount))
        return bad(QStringLiteral("--retries takes a whole number from 0"));
    if (!parseCount(parser.value(skip), &skipCount))
        return bad(QStringLiteral("--skip takes a whole number from 0"));
    if (parser.isSet(maxTime)) {
        int seconds = 0;
        if (!parseCount(parser.value(maxTime), &seconds) || seconds == 0)
            return bad(QStringLiteral("--max-time takes a whole number of seconds above 0"));
        SetServiceTimeLimit(seconds);
    }
    QString error;
    if (parser.isSet(address) && !SetServiceBaseAddress(parser.value(address), &error))
        return bad(error);
    if (parser.isSet(caFile) && !SetExtraCACertificate(parser.value(caFile), &error))
        return bad(error);

    const auto reader = createObject<IDiaryFileReader>(CLSID_DiaryFileReader);
    const QString diary = parser.positionalArguments().first();
    if (!reader->LoadFile(diary))
        return bad(diary + QStringLiteral(": ") + reader->LastError());
    const ComPtr<IDiaryPostList> posts = reader->Posts();
    if (skipCount > posts->Count())
        return bad(QStringLiteral("--skip %1 is more than the file's %2 posts")
                       .arg(skipCount)
                       .arg(posts->Count()));

    const bool dry = parser.isSet(dryRun);
    if (parser.isSet(resendUnconfirmed) && parser.isSet(skipUnconfirmed))
        return bad(QStringLiteral("give --resend-unconfirmed or --skip-unconfirmed, not both"));
    if (dry && parser.isSet(report))
        return bad(QStringLiteral("--dry-run writes nothing, so it takes no --report"));
    if (parser.isSet(journal)) {
        if (parser.value(journal).isEmpty())
            return bad(QStringLiteral("--journal takes a file name"));
        SetJournalPath(parser.value(journal));
    }
    if (dry) {
        LogonUserName = parser.value(user);
        if (LogonUserName.isEmpty() && parser.isSet(remembered))
            LogonUserName = rememberedValue(QStringLiteral("Username"));
        if (LogonUserName.isEmpty())
            out(stderr, QStringLiteral("brivet-post: no account given, so the publish journal "
                                       "cannot say which posts were published before"));
    } else {
        const bool useRemembered = parser.isSet(remembered);
        LogonUserName = parser.value(user);
        if (LogonUserName.isEmpty() && useRemembered)
            LogonUserName = rememberedValue(QStringLiteral("Username"));
        if (LogonUserName.isEmpty())
            return bad(useRemembered
                           ? QStringLiteral("no user name is remembered; give --user EMAIL")
                           : QStringLiteral("give the account with --user EMAIL"));
        if (parser.isSet(passwordFile)) {
            QString warning;
            if (!readPasswordFile(parser.value(passwordFile), &LogonPassword, &error, &warning))
                return bad(error);
            if (!warning.isEmpty())
                out(stderr, QStringLiteral("brivet-post: warning: ") + warning);
        } else if (!environmentPassword.isNull()) {
            LogonPassword = environmentPassword;
        } else if (useRemembered) {
            LogonPassword = DecodePassword(rememberedValue(QStringLiteral("Password")));
            if (LogonPassword.isEmpty())
                return bad(QStringLiteral("no password is remembered for this user; set "
                                          "BRIVET_PASSWORD or use --password-file"));
        } else if (!askPassword(QStringLiteral("Password for %1: ").arg(LogonUserName),
                                &LogonPassword)) {
            return bad(QStringLiteral("no password: set BRIVET_PASSWORD, use --password-file, "
                                      "or run on a terminal"));
        }
    }
    ErrorReporter::instance().setSink(consoleSink(retryCount));

    // The program never publishes without its record; a dry run only reads it.
    JournalPlan plan;
    if (!OpenJournal(&error, dry)) {
        out(stderr, QStringLiteral("brivet-post: ") + error + QStringLiteral(" Nothing was sent."));
        return ExitPostsLeft;
    }
    if (!PlanRun(posts.get(), skipCount, ServiceJournalScope(), parser.isSet(resendUnconfirmed),
                 parser.isSet(skipUnconfirmed), &plan, &error)) {
        out(stderr, QStringLiteral("brivet-post: the publish journal %1 cannot be read: %2. "
                                   "Nothing was sent.")
                        .arg(Journal().path(), error));
        return ExitPostsLeft;
    }
    const bool stopped = !uploadPosts(posts.get(), &plan, dry);
    if (parser.isSet(report) &&
        !WriteRunReport(parser.value(report), posts.get(), plan.reports, &error)) {
        out(stderr, QStringLiteral("brivet-post: cannot write the report %1: %2")
                        .arg(parser.value(report), error));
        return ExitPostsLeft;
    }
    if (TerminationRequested()) {
        out(stderr, QStringLiteral("brivet-post: stopped by signal %1.").arg(TerminationSignal()));
        return 128 + TerminationSignal();
    }
    return stopped ? ExitPostsLeft : ExitPublished;
}
