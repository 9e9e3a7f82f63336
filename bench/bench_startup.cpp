// Start-up to the logon window shown, against a minimal Qt program that shows one
// empty window, measured in one run with the programs taking turns. Each start gets a
// fresh user (home, settings, runtime folder), so every run is a first start.
// Usage: bench_startup [runs]   (default 15; QT_QPA_PLATFORM defaults to offscreen)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
// Milliseconds from the start of the process to its report of the first paint; -1
// when it never came.
double timeToWindow(const QString& program, const QByteArray& shownLine,
                    const QStringList& arguments = {})
{
    QTemporaryDir user;
    for (const char* folder : {"config", "data", "run"})
        QDir(user.path()).mkpath(QString::fromLatin1(folder));
    // Qt ignores a runtime folder that others may read.
    QFile::setPermissions(user.path() + QStringLiteral("/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), user.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), user.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), user.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), user.path() + QStringLiteral("/run"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("brivet.startup.info=true"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess process;
    process.setProcessEnvironment(env);
    process.setReadChannel(QProcess::StandardError); // where the report comes
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    QByteArray output;
    double ms = -1;
    while (timer.elapsed() < 60000) {
        if (!process.waitForReadyRead(60000 - static_cast<int>(timer.elapsed())))
            break;
        output += process.readAllStandardError();
        if (output.contains(shownLine)) {
            ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            break;
        }
    }
    process.kill();
    process.waitForFinished(10000);
    return ms;
}

struct Figures
{
    double median, mean, min, max;
};

Figures figuresOf(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (double t : times)
        sum += t;
    const size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    return {median, sum / static_cast<double>(n), times.front(), times.back()};
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const QString folder = QCoreApplication::applicationDirPath();
    const QString poster = folder + QStringLiteral("/BrivetPoster");
    const QString minimal = folder + QStringLiteral("/bench_startup_minimal");

    // One start of each first, so that both find the libraries in the page cache.
    timeToWindow(poster, "logon window shown");
    timeToWindow(minimal, "window shown");
    const QStringList text{QStringLiteral("--text")};
    timeToWindow(minimal, "window shown", text);
    std::vector<double> posterTimes, minimalTimes, textTimes;
    for (int i = 0; i < runs; ++i) {
        const double p = timeToWindow(poster, "logon window shown");
        const double m = timeToWindow(minimal, "window shown");
        const double t = timeToWindow(minimal, "window shown", text);
        if (p < 0 || m < 0 || t < 0) {
            std::fprintf(stderr, "a program showed no window\n");
            return 1;
        }
        posterTimes.push_back(p);
        minimalTimes.push_back(m);
        textTimes.push_back(t);
    }
    const Figures p = figuresOf(posterTimes);
    const Figures m = figuresOf(minimalTimes);
    const Figures t = figuresOf(textTimes);
    std::printf("runs: %d\n", runs);
    std::printf("%-26s median %7.1f ms  mean %7.1f  min %7.1f  max %7.1f\n",
                "BrivetPoster logon window", p.median, p.mean, p.min, p.max);
    std::printf("%-26s median %7.1f ms  mean %7.1f  min %7.1f  max %7.1f\n", "minimal Qt window",
                m.median, m.mean, m.min, m.max);
    // What the window's text costs any program: the font database (fontconfig), which an
    // empty window never loads.
    std::printf("%-26s median %7.1f ms  mean %7.1f  min %7.1f  max %7.1f\n",
                "minimal window with text", t.median, t.mean, t.min, t.max);
    std::printf("ratio (median): %.2f  (goal: at most 1.30); against the window with text "
                "%.2f\n",
                p.median / m.median, p.median / t.median);
    return 0;
}
