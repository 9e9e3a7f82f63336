// Loads a generated diary of 100,000 posts (about 100 MB) into a shown main window
// and reports the time, the peak memory against the file size, and how quickly the
// full list scrolls and deletes. A second benchmark sets the duplicate post-time check
// of a million short posts against the reading of their file.
#include "poster/workflow/frmMain.h"
#include "poster/workflow/modApp.h"
#include "poster/workflow/modCheckDiaryPostTimes.h"
#include "support/diary/DiaryFileReader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>

namespace {
// bodyLines: lines of markup in each body; 0 gives one short line.
QString generateDiary(const QString& folder, int posts, int bodyLines = 6)
{
    const QString path = folder + QStringLiteral("/big-diary.txt");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("DIARY-EXPORT 1\n");
    const QByteArray line =
        "[b]Lorem ipsum[/b] dolor sit amet, [i]consectetur[/i] adipiscing elit -> sed do eiusmod "
        "tempor. Съешь же ещё этих мягких французских булок.\n";
    for (int i = 0; i < posts; ++i) {
        const int day = i % 28 + 1, month = i / 28 % 12 + 1, year = 1990 + i / 336;
        QByteArray post = QStringLiteral("POST %1-%2-%3 %4:%5:%6\n")
                              .arg(year)
                              .arg(month, 2, 10, QLatin1Char('0'))
                              .arg(day, 2, 10, QLatin1Char('0'))
                              .arg(i % 24, 2, 10, QLatin1Char('0'))
                              .arg(i % 60, 2, 10, QLatin1Char('0'))
                              .arg(i / 7 % 60, 2, 10, QLatin1Char('0'))
                              .toLatin1();
        post += (i % 5 ? "TITLE Post number " + QByteArray::number(i) + "\n" : QByteArray());
        post += (i % 11 == 0 ? "ADULT\n" : "");
        post += "BODY\n";
        for (int l = 0; l < bodyLines; ++l)
            post += line;
        post += bodyLines ? "..dotted line\n.\n\n" : "short body\n.\n";
        file.write(post);
    }
    return path;
}

long peakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

void BM_LoadDiaryIntoMainWindow(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = generateDiary(folder.path(), 100000);
    const double fileMB = QFileInfo(path).size() / 1e6;
    const long before = peakKilobytes();
    double scrollMs = 0, deleteMs = 0;
    for (auto _ : state) {
        frmMain form;
        form.show();
        form.LoadDiaryFile(path);
        form.UpdateControls();
        QApplication::processEvents();
        state.PauseTiming();
        QElapsedTimer timer;
        timer.start();
        form.lstPosts->scrollToBottom();
        form.lstPosts->setCurrentRow(50000);
        QApplication::processEvents();
        scrollMs = timer.nsecsElapsed() / 1e6;
        timer.restart();
        QTest::keyClick(form.lstPosts, Qt::Key_Delete);
        QApplication::processEvents();
        deleteMs = timer.nsecsElapsed() / 1e6;
        if (form.LoadedPosts.size() != 99999)
            state.SkipWithError("the posts did not all load");
        form.lstPosts->clear();
        form.LoadedPosts.clear();
        state.ResumeTiming();
    }
    state.counters["file_MB"] = fileMB;
    state.counters["peak_MB"] = peakKilobytes() / 1e3;
    state.counters["peak_growth_x_file"] = (peakKilobytes() - before) / 1e3 / fileMB;
    state.counters["scroll_ms"] = scrollMs;
    state.counters["delete_ms"] = deleteMs;
}
BENCHMARK(BM_LoadDiaryIntoMainWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

// The check must cost less than reading the file it checks.
void BM_MillionPostsReadAndCheck(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = generateDiary(folder.path(), 1000000, 0);
    double readMs = 0, checkMs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const ComPtr<IDiaryFileReader> reader = newDiaryFileReader();
        if (!reader->LoadFile(path))
            state.SkipWithError(qPrintable(reader->LastError()));
        readMs = timer.nsecsElapsed() / 1e6;
        timer.restart();
        if (!CheckDiaryPostTimes(reader->Posts().get()))
            state.SkipWithError("the check found duplicates");
        checkMs = timer.nsecsElapsed() / 1e6;
    }
    state.counters["file_MB"] = QFileInfo(path).size() / 1e6;
    state.counters["read_ms"] = readMs;
    state.counters["check_ms"] = checkMs;
}
BENCHMARK(BM_MillionPostsReadAndCheck)->Unit(benchmark::kMillisecond)->Iterations(2);
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QApplication application(argc, argv);
    RegisterComponentClasses();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
