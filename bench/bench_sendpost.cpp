// SendPost of one 5 MB markup-dense post against the sandbox service on 127.0.0.1,
// versus bare wget posting the same prepared JSON with the same headers. Goal: SendPost
// at most 1.5 times wget's time. Prints both medians, their ratio and peak memory.
//   bench_sendpost [ROUNDS]      (default 5; needs python3 and wget)
#include "platform/com/ClassRegistry.h"
#include "poster/convert/modConverter.h"
#include "poster/service/ErrorReporter.h"
#include "poster/service/modPostSender.h"
#include "poster/service/modServiceAddress.h"
#include "poster/workflow/modApp.h"
#include "request/KWQT0100.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {
QString markupDenseBody(qsizetype utf8Bytes)
{
    static const QStringList pieces = {
        QStringLiteral("[b]bold[/b] "),
        QStringLiteral("[I]it[/i] "),
        QStringLiteral("[u]u[/U][s]s[/s] "),
        QStringLiteral("[OT]offtop[/OT] "),
        QStringLiteral("[IMG]http://img.example/a.png[/IMG]"),
        QStringLiteral("[RIGHT]r[/RIGHT][center]c[/center]"),
        QStringLiteral("[url=http://b.example/x]link \"text\"[/url] "),
        QStringLiteral("[CODE]if (a < b && c > \"d\")\r\n  x(\\n);[/CODE]"),
        QStringLiteral("[J]friend[/J] "),
        QStringLiteral("\r\n"),
        QStringLiteral("Русский текст\t"),
        QStringLiteral("<!-- note --> ")};
    QRandomGenerator random(11);
    QString body;
    qsizetype bytes = 0;
    while (bytes < utf8Bytes) {
        const QString& piece = pieces.at(random.bounded(static_cast<int>(pieces.size())));
        body += piece;
        bytes += piece.toUtf8().size();
    }
    return body;
}

long maxRssKb(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

bool writeFile(const QString& name, const QByteArray& bytes)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return file.write(bytes) == bytes.size();
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    RegisterComponentClasses();
    ErrorReporter::instance().setSink([](const ErrorReport& report) {
        std::fprintf(stderr, "%s\n", qPrintable(report.text));
        return 2; // Cancel
    });
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    QTemporaryDir folder;
    qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toLocal8Bit());
    // The publish journal goes with the rest of this run's state.
    qputenv("XDG_DATA_HOME", folder.filePath(QStringLiteral("data")).toLocal8Bit());

    QProcess sandbox;
    sandbox.start(QStringLiteral("python3"),
                  {QStringLiteral(BRIVET_SOURCE_DIR "/tools/brivet-sandbox/brivet_sandbox.py"),
                   QStringLiteral("--port"), QStringLiteral("0")});
    QString base;
    while (base.isEmpty() && sandbox.waitForReadyRead(20000)) {
        const QString line = QString::fromUtf8(sandbox.readLine()).trimmed();
        if (line.startsWith(QStringLiteral("Brivet sandbox ready: ")))
            base = line.mid(22);
    }
    QString error;
    if (base.isEmpty() || !SetServiceBaseAddress(base, &error)) {
        std::fprintf(stderr, "bench_sendpost: the sandbox did not start %s\n", qPrintable(error));
        return 1;
    }
    LogonUserName = QStringLiteral("demo@brivet.example");
    LogonPassword = QStringLiteral("demo");
    if (!LogOn())
        return 1;

    DiaryPostData data;
    data.postDate = QDateTime(QDate(2010, 3, 5), QTime(9, 0));
    data.title = QStringLiteral("Benchmark");
    data.body = markupDenseBody(5 << 20);
    const ComPtr<IDiaryPost> post = newDiaryPost(data);
    const QByteArray json =
        EntryRequestBody(ConvertPostBody(data.body, true), data.title, false, ProfileId).toUtf8();
    // Where SendPost's own time goes: preparing the body, and the request component
    // sending an already prepared body.
    // SendPost's own peak: one upload before anything else is held.
    const long rssStart = maxRssKb(RUSAGE_SELF);
    if (!SendPost(post, true, false))
        return 1;
    const long rssSendPost = maxRssKb(RUSAGE_SELF);

    // The same body through each step on its own, a few times.
    QList<double> converting, filling;
    QByteArray prepared;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer step;
        step.start();
        const QString html = ConvertPostBody(data.body, true);
        converting << step.nsecsElapsed() / 1e6;
        step.start();
        // Escaping, filling and the UTF-8 bytes in one, as SendPost makes its body.
        prepared = EntryRequestBytes(html, data.title, false, ProfileId);
        filling << step.nsecsElapsed() / 1e6;
    }

    // The same body and header lines for bare wget; the token travels in a private
    // config file, as it would have to from any careful caller.
    const QString body = folder.filePath(QStringLiteral("body.json"));
    const QString config = folder.filePath(QStringLiteral("wget.cfg"));
    writeFile(body, json);
    writeFile(config,
              "tries = 1\nheader = Content-Type: application/vnd.api+json\nheader = Origin: " +
                  base.toUtf8() + "\nheader = Authorization: Bearer " + AccessToken.toUtf8() +
                  "\n");
    const auto wgetArguments = [&] {
        return QStringList{QStringLiteral("--config=") + config,
                           QStringLiteral("--quiet"),
                           QStringLiteral("--output-document=") +
                               folder.filePath(QStringLiteral("reply")),
                           QStringLiteral("--user-agent=") + UploadUserAgent,
                           QStringLiteral("--referer=") + EntryEditorAddress(),
                           QStringLiteral("--method=POST"),
                           QStringLiteral("--body-file=") + body,
                           base + QStringLiteral("/v2/entries?nonce=") + MakeNonce()};
    };

    // Rounds interleave the three ways, so that the server's state and the machine's
    // load weigh on each alike.
    QList<double> sendPost, component, bareWget;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!SendPost(post, true, false))
            return 1;
        sendPost << timer.nsecsElapsed() / 1e6;

        timer.start();
        const auto request = createObject<_olvHTTPRequestHT>(CLSID_olvHTTPRequestHT);
        ComPtr<ICollection> headers;
        request->get_AdditionalHeaders(headers.put());
        headers->Add(QStringLiteral("Content-Type: application/vnd.api+json"));
        headers->Add(QStringLiteral("Origin: ") + base);
        headers->Add(QStringLiteral("Authorization: Bearer ") + AccessToken);
        request->put_HTTPVerb(QStringLiteral("POST"));
        request->put_OptionalData(prepared);
        request->put_UserAgent(UploadUserAgent);
        request->put_Referer(EntryEditorAddress());
        request->put_URL(base + QStringLiteral("/v2/entries?nonce=") + MakeNonce());
        RequestExecuteError_Const rc = reeUnknownError;
        request->Execute(&rc);
        if (rc != reeSuccess)
            return 1;
        component << timer.nsecsElapsed() / 1e6;

        timer.start();
        if (QProcess::execute(QStringLiteral("wget"), wgetArguments()) != 0)
            return 1;
        bareWget << timer.nsecsElapsed() / 1e6;
    }
    // A child's own peak, measured where the time program exists: a child forked from
    // this process would count this process's pages too.
    long wgetRss = -1;
    if (QFile::exists(QStringLiteral("/usr/bin/time"))) {
        const QString peak = folder.filePath(QStringLiteral("peak"));
        QProcess::execute(QStringLiteral("/usr/bin/time"),
                          QStringList{QStringLiteral("-f"), QStringLiteral("%M"),
                                      QStringLiteral("-o"), peak, QStringLiteral("wget")} +
                              wgetArguments());
        QFile file(peak);
        if (file.open(QIODevice::ReadOnly))
            wgetRss = file.readAll().trimmed().toLong();
    }
    sandbox.terminate();
    sandbox.waitForFinished();

    const double a = median(sendPost), b = median(bareWget);
    std::printf("post: %.1f MB of markup, %.1f MB of JSON on the wire, %d rounds\n",
                data.body.toUtf8().size() / 1048576.0, json.size() / 1048576.0, rounds);
    std::printf("SendPost median   %8.1f ms\n", a);
    std::printf("  of which converting the markup %.1f ms, escaping and filling as UTF-8 "
                "bytes %.1f ms, KWQT0100 %.1f ms; the rest (publish journal, settings, "
                "objects) %.1f ms\n",
                median(converting), median(filling), median(component),
                a - median(converting) - median(filling) - median(component));
    std::printf("KWQT0100 alone    %8.1f ms (the prepared body, same header lines)\n",
                median(component));
    std::printf("bare wget median  %8.1f ms\n", b);
    std::printf("ratio             %8.2f (goal: at most 1.50)\n", a / b);
    std::printf("peak memory: process %ld MB with the post and its JSON held, %ld MB after "
                "one SendPost (+%ld MB)\n",
                rssStart / 1024, rssSendPost / 1024, (rssSendPost - rssStart) / 1024);
    if (wgetRss >= 0)
        std::printf("peak memory: wget %ld MB\n", wgetRss / 1024);
    return a / b <= 1.5 ? 0 : 3;
}
