// The request component against bare wget, on one loopback server, interleaved so that
// both sides see the same load:
//  1. Execute (a new object for each request, as BrivetPoster makes them) against the
//     very command line that Execute ran, started directly; goal: at most 1.1 times.
//  2. kwqt-request as a whole process against bare "wget -q -O /dev/null"; goal: at
//     most 1.5 times.
// Usage: bench_request [requests] (200 by default). Prints its figures.
#include "platform/com/ClassRegistry.h"
#include "platform/process/CommandLine.h"
#include "request/KWQT0100.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs argv with standard output and error on /dev/null; the milliseconds it took.
double run(const QStringList& arguments)
{
    std::vector<QByteArray> encoded;
    for (const QString& argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double ms = msSince(start);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(2);
    }
    return ms;
}

ComPtr<_olvHTTPRequestHT> newRequest(const QString& url)
{
    auto request = createObject<_olvHTTPRequestHT>(CLSID_olvHTTPRequestHT);
    auto proxy = createObject<_ProxySettings>(CLSID_ProxySettings);
    proxy->put_AccessType(atDirect);
    request->putref_ProxySettings(proxy.get());
    request->put_URL(url);
    request->put_NoHourglassCursor(VARIANT_TRUE);
    return request;
}

void report(const char* name, double ours, double bare, int n, double goal)
{
    std::printf("%-34s %8.2f ms/request   bare wget %8.2f ms/request   ratio %.3f (goal <= %.2f) "
                "%s\n",
                name, ours / n, bare / n, ours / bare, goal,
                ours / bare <= goal ? "MET" : "MISSED");
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const QString bin = QCoreApplication::applicationDirPath();
    for (const GUID& clsid : {CLSID_olvHTTPRequestHT, CLSID_ProxySettings})
        setDefaultServerLibrary(clsid, bin + QStringLiteral("/libKWQT0100.so"));
    QTemporaryDir temporary;
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));

    QProcess server;
    server.start(QStringLiteral("python3"),
                 {QStringLiteral(BRIVET_SOURCE_DIR "/tests/servers/test_server.py")});
    if (!server.waitForReadyRead(20000)) {
        std::fprintf(stderr, "the server did not start\n");
        return 2;
    }
    const int port = server.readLine().trimmed().mid(5).toInt();
    const QString url = QStringLiteral("http://127.0.0.1:%1/echo").arg(port);

    // The command line Execute runs, kept with its files for the direct runs.
    ComPtr<_olvHTTPRequestHT> model = newRequest(url);
    RequestExecuteError_Const rc = reeUnknownError;
    model->Execute(&rc);
    QString commandLine;
    model->get_WGetCommandLine(&commandLine);
    const QStringList direct = splitCommandLine(commandLine);
    QString dataPath;
    model->get_WGetEXEDataPath(&dataPath);
    if (rc != reeSuccess) {
        std::fprintf(stderr, "Execute failed: %d\n", rc);
        return 2;
    }

    double executeMs = 0, directMs = 0;
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        ComPtr<_olvHTTPRequestHT> request = newRequest(url);
        request->Execute(&rc);
        request.reset(); // its files go with it, as they do for BrivetPoster
        executeMs += msSince(start);
        if (rc != reeSuccess) {
            std::fprintf(stderr, "Execute failed: %d\n", rc);
            return 2;
        }
        // wget as Execute starts it: HOME at the data folder.
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(dataPath));
        directMs += run(direct);
        qputenv("HOME", home);
    }
    report("Execute vs its command line", executeMs, directMs, n, 1.1);

    const QString tool = bin + QStringLiteral("/kwqt-request");
    const int processes = std::max(1, n / 2);
    double toolMs = 0, wgetMs = 0, floorMs = 0;
    for (int i = 0; i < processes; ++i) {
        toolMs += run({tool, QStringLiteral("--proxy"), QStringLiteral("direct"), url});
        wgetMs += run({QStringLiteral("/usr/bin/wget"), QStringLiteral("-q"), QStringLiteral("-O"),
                       QStringLiteral("/dev/null"), url});
        floorMs += run({tool, QStringLiteral("--help")});
    }
    report("kwqt-request vs wget -q -O /dev/null", toolMs, wgetMs, processes, 1.5);
    // What bounds the second figure: the tool's own start (Qt Core, its command line, no
    // component and no wget) comes on top of the wget it starts.
    std::printf("%-34s %8.2f ms/process   = %.3f of bare wget; the tool's floor is %.3f\n",
                "kwqt-request --help (start only)", floorMs / processes, floorMs / wgetMs,
                1 + floorMs / wgetMs);
    server.kill();
    server.waitForFinished();
    return 0;
}
