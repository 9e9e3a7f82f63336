#include "poster/workflow/modMain.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/ErrorInfo.h"
#include "platform/process/ProcessTempFolder.h"
#include "platform/process/TerminationSignals.h"
#include "poster/service/frmLogon.h"
#include "poster/service/modPostSender.h"
#include "poster/service/modServiceAddress.h"
#include "poster/workflow/modApp.h"
#include "request/KWQT0100.h"
#include "support/SingleInstanceGuard.h"
#include "support/dialogs/OpenFileDialog.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"
#include "support/settings/SettingsStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QEvent>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>

const QString AppInstanceKey = QStringLiteral("{7FA5B4AB-EE2D-4BD7-91CF-791FA749DC13}");

namespace {
const QString Section = QStringLiteral("OFN Paths");
const QString Key = QStringLiteral("Last open TXT directory");

Q_LOGGING_CATEGORY(lcStartUp, "brivet.startup", QtWarningMsg)

constexpr int ExitBadCommandLine = 2;

int refuse(const QString& message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(message));
    return ExitBadCommandLine;
}

// Options of this run; false (with the exit code) when the program is to end.
bool ReadCommandLine(int* exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Publishes the posts of a diary export file on Brivet."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption address(
        QStringLiteral("service-address"),
        QStringLiteral("Use the Brivet service at <url> (http or https, host and optional "
                       "port) instead of the built-in one."),
        QStringLiteral("url"));
    const QCommandLineOption authority(
        QStringLiteral("extra-ca-certificate"),
        QStringLiteral("Also trust the certificate authority in the PEM file <file> for the "
                       "service's address."),
        QStringLiteral("file"));
    parser.addOption(address);
    parser.addOption(authority);
    if (!parser.parse(QCoreApplication::arguments())) {
        *exitCode = refuse(parser.errorText());
        return false;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        *exitCode = 0;
        return false;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        *exitCode = 0;
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *exitCode = refuse(QStringLiteral("unexpected argument \"%1\"")
                               .arg(parser.positionalArguments().constFirst()));
        return false;
    }
    QString error;
    if (parser.isSet(address) && !SetServiceBaseAddress(parser.value(address), &error)) {
        *exitCode = refuse(QStringLiteral("--service-address: ") + error);
        return false;
    }
    if (parser.isSet(authority) && !SetExtraCACertificate(parser.value(authority), &error)) {
        *exitCode = refuse(QStringLiteral("--extra-ca-certificate: ") + error);
        return false;
    }
    return true;
}

// Reports the moment the logon window is first painted (start-up benchmark, tests).
class FirstPaintReporter : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            qCInfo(lcStartUp, "logon window shown");
            watched->removeEventFilter(this);
        }
        return false;
    }
};

// A later start of the program brings our window to the front.
void ShowRunningWindow()
{
    QWidget* window = QApplication::activeModalWidget();
    if (!window) {
        for (QWidget* candidate : QApplication::topLevelWidgets()) {
            if (candidate->isVisible() && !candidate->testAttribute(Qt::WA_DontShowOnScreen)) {
                window = candidate;
                break;
            }
        }
    }
    qCInfo(lcStartUp, "a second start asked to show the window \"%s\"",
           window ? qPrintable(window->windowTitle()) : "");
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}
} // namespace

void SetApplicationIdentity()
{
    QApplication::setApplicationName(App().EXEName);
    QApplication::setOrganizationName(App().CompanyName);
    QApplication::setApplicationVersion(QStringLiteral(BRIVET_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("brivet-poster"));
}

std::unique_ptr<QSocketNotifier> WatchTerminationSignals()
{
    InstallTerminationHandlers();
    RemoveStaleTempFolders();
    if (TerminationWakeFd() < 0)
        return {};
    auto watcher = std::make_unique<QSocketNotifier>(TerminationWakeFd(), QSocketNotifier::Read);
    QObject::connect(watcher.get(), &QSocketNotifier::activated, watcher.get(),
                     [] { QCoreApplication::exit(128 + TerminationSignal()); });
    return watcher;
}

int StartUp()
{
    SetApplicationIdentity();
    setDefaultServerLibrary(CLSID_ProxySettings, QCoreApplication::applicationDirPath() +
                                                     QStringLiteral("/libKWQT0100.so"));
    int exitCode = 0;
    if (!ReadCommandLine(&exitCode))
        return exitCode;

    const auto termination = WatchTerminationSignals();

    sxRegisterAppPath();
    RegisterComponentClasses();
    // The program's icon: Qt has no hidden owner window, so it goes to the application,
    // whose windows all carry it.
    bool inIde = false;
    QWidget* owner = nullptr;
    if (sxIsInIDE(&inIde) >= 0 && !inIde && sxGetThunderMainHandle(&owner) >= 0 &&
        suSetWindowResIconAll(owner, QStringLiteral("A_MAIN")) >= 0)
        QApplication::setWindowIcon(owner->windowIcon());

    SingleInstanceGuard guard;
    if (!guard.IsFirstInstance(AppInstanceKey)) {
        qCInfo(lcStartUp, "another copy runs; it was asked to show its window");
        return 0;
    }
    guard.setActivationHandler(ShowRunningWindow);
    // A password the service refused is typed again in the logon window.
    SetRefusedLogonHandler(frmLogon::ReenterCredentials);

    FirstPaintReporter reporter;
    auto* logon = new frmLogon;
    logon->setAttribute(Qt::WA_DeleteOnClose);
    logon->installEventFilter(&reporter);
    logon->show();
    return QApplication::exec();
}

QString AskDiaryFileName()
{
    OpenFileDialog dialog;
    dialog.Filter = QStringLiteral("Text files|*.TXT;*.QNP|All files|*.*");
    dialog.Owner = QApplication::activeWindow();

    // The remembered folder is a convenience: a store that cannot be read or written
    // never keeps the user from loading a file.
    const ComPtr<ISettingsStore> store = createObject<ISettingsStore>(CLSID_SettingsStore);
    QVariant folder;
    if (SUCCEEDED(store->GetValue(Section, Key, skText, QString(), App(), true, &folder)))
        dialog.InitDir = folder.toString();

    if (!dialog.ShowOpen())
        return {};
    QString chosenFolder;
    checkStatus(sxGetFilePath(dialog.FileName, &chosenFolder), "sxGetFilePath");
    if (FAILED(store->SaveValue(Section, Key, skText, chosenFolder, App(), true)))
        takeErrorInfo(); // not remembered this time; the load goes on
    return dialog.FileName;
}
