// main() of every test binary: a QApplication on the offscreen platform, and the
// user's folders redirected into a temporary folder so that no test touches real
// settings or keys.
#include "platform/regexp/RegExp.h"
#include "support/diary/DiaryFileReader.h"
#include "support/settings/SettingsStore.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    // Requests in tests go where the test sends them, whatever proxy the machine has.
    for (const char* name : {"http_proxy", "https_proxy", "ftp_proxy", "no_proxy", "HTTP_PROXY",
                             "HTTPS_PROXY", "FTP_PROXY", "NO_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("BrivetPosterTests"));
    registerSettingsStoreClass();
    registerDiaryFileReaderClass();
    registerRegExpClass();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
