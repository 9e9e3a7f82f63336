// window_signal_driver: the main window as the program runs it, for the signal tests:
// the program's own signal watch, the real frmMain offscreen with a diary loaded, and
// Send pressed from inside the event loop. Once the loop has ended it prints
// "left=N boxes=M" (posts still queued, message boxes shown) and returns the loop's
// exit code.
//   window_signal_driver --service-address URL --user EMAIL DIARY
// The password is read from standard input.
#include "platform/com/ClassRegistry.h"
#include "platform/ui/MsgBox.h"
#include "poster/service/modPostSender.h"
#include "poster/service/modServiceAddress.h"
#include "poster/workflow/frmMain.h"
#include "poster/workflow/modApp.h"
#include "poster/workflow/modMain.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QTextStream>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(App().EXEName);
    const auto watcher = WatchTerminationSignals();
    QCommandLineParser parser;
    const QCommandLineOption address(QStringLiteral("service-address"),
                                     QStringLiteral("The service's base address."),
                                     QStringLiteral("URL"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("The account."),
                                  QStringLiteral("EMAIL"));
    parser.addOptions({address, user});
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The diary file."));
    parser.process(application);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    RegisterComponentClasses();
    QString error;
    if (!SetServiceBaseAddress(parser.value(address), &error)) {
        std::fprintf(stderr, "window_signal_driver: %s\n", qPrintable(error));
        return 2;
    }
    LogonUserName = parser.value(user);
    LogonPassword = QTextStream(stdin).readLine();

    int boxes = 0;
    setMsgBoxHook([&](const QString& prompt, int, const QString&) {
        ++boxes;
        std::fprintf(stderr, "window_signal_driver: message: %s\n", qPrintable(prompt));
        return vbCancel;
    });

    frmMain form;
    form.show();
    form.cboWaitTime->setCurrentIndex(0);
    form.LoadDiaryFile(parser.positionalArguments().first());
    form.UpdateControls();
    QTimer::singleShot(0, &form, [&form] { form.cmdSendPosts_Click(); });
    const int code = QApplication::exec();
    std::printf("left=%lld boxes=%d\n", static_cast<long long>(form.LoadedPosts.size()), boxes);
    return code;
}
