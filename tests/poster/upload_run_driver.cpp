// upload_run_driver: the benchmark's and the crash test's run. Opens the real main
// window offscreen, loads a diary, answers the publish journal's questions with OK and
// every Retry/Cancel with Retry, presses Send and prints what it took.
//   upload_run_driver --generate N FILE
//   upload_run_driver --service-address URL [--ca-certificate PEM] --user EMAIL
//                     [--journal FILE] [--progress] DIARY
// The password is read from standard input (it never goes on a command line).
// --progress prints "sending N" before the N-th post of the file goes out.
#include "platform/ui/MsgBox.h"
#include "poster/service/modPostSender.h"
#include "poster/service/modPublishJournal.h"
#include "poster/service/modServiceAddress.h"
#include "poster/workflow/frmMain.h"
#include "poster/workflow/modApp.h"
#include "tests/poster/GeneratedDiary.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(App().EXEName);
    QCommandLineParser parser;
    const QCommandLineOption generate(QStringLiteral("generate"),
                                      QStringLiteral("Write a generated diary of N posts."),
                                      QStringLiteral("N"));
    const QCommandLineOption address(QStringLiteral("service-address"),
                                     QStringLiteral("The service's base address."),
                                     QStringLiteral("URL"));
    const QCommandLineOption ca(QStringLiteral("ca-certificate"),
                                QStringLiteral("An extra authority for the service."),
                                QStringLiteral("PEM"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("The account."),
                                  QStringLiteral("EMAIL"));
    const QCommandLineOption journal(QStringLiteral("journal"),
                                     QStringLiteral("The publish journal (\":memory:\" keeps "
                                                    "it in memory)."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption progress(QStringLiteral("progress"),
                                      QStringLiteral("Print each post's number as it is sent."));
    parser.addOptions({generate, address, ca, user, journal, progress});
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The diary file."));
    parser.process(application);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QString file = parser.positionalArguments().first();

    if (parser.isSet(generate)) {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 2;
        out.write(GeneratedDiary(parser.value(generate).toInt()));
        return 0;
    }

    RegisterComponentClasses();
    QString error;
    if (!SetServiceBaseAddress(parser.value(address), &error) ||
        (parser.isSet(ca) && !SetExtraCACertificate(parser.value(ca), &error))) {
        std::fprintf(stderr, "upload_run_driver: %s\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet(journal))
        SetJournalPath(parser.value(journal));
    LogonUserName = parser.value(user);
    LogonPassword = QTextStream(stdin).readLine();

    int failures = 0;
    int other = 0;
    int questions = 0;
    setMsgBoxHook([&](const QString& prompt, int style, const QString&) {
        if (style == (vbRetryCancel | vbCritical)) {
            ++failures;
            return vbRetry;
        }
        if (style == (vbOKCancel | vbExclamation)) {
            // The journal's questions at load, answered as a user resuming would.
            ++questions;
            std::fprintf(stderr, "upload_run_driver: OK to: %s\n",
                         qPrintable(prompt.section(QLatin1Char('\r'), 0, 0)));
            return vbOK;
        }
        if (prompt != QLatin1String("All done! ^_^v")) {
            ++other;
            std::fprintf(stderr, "upload_run_driver: message: %s\n", qPrintable(prompt));
        }
        return vbOK;
    });

    frmMain form;
    form.show();
    form.cboWaitTime->setCurrentIndex(0);
    form.LoadDiaryFile(file);
    form.UpdateControls();
    if (parser.isSet(progress))
        form.SendPostFunction = [](const ComPtr<IDiaryPost>& post, bool original, bool backdated) {
            std::printf("sending %d\n", post->Index());
            std::fflush(stdout);
            return SendPost(post, original, backdated);
        };
    const qsizetype posts = form.LoadedPosts.size();

    QElapsedTimer timer;
    timer.start();
    form.cmdSendPosts_Click();
    const double seconds = timer.nsecsElapsed() / 1e9;

    std::printf("posts=%lld seconds=%.3f failures=%d left=%lld questions=%d\n",
                static_cast<long long>(posts), seconds, failures,
                static_cast<long long>(form.LoadedPosts.size()), questions);
    return other == 0 ? 0 : 1;
}
