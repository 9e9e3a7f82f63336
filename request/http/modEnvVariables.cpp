#include "request/http/modEnvVariables.h"

#include <QFile>
#include <cstdlib>

namespace {
thread_local QByteArray SavedHome;
thread_local bool HomeWasAbsent = true;
} // namespace

void SetWGetHome(const QString& dataPath)
{
    const char* home = std::getenv("HOME");
    HomeWasAbsent = !home || !*home;
    SavedHome = HomeWasAbsent ? QByteArray() : QByteArray(home);
    setenv("HOME", QFile::encodeName(dataPath).constData(), 1);
}

void RestoreHome()
{
    if (HomeWasAbsent)
        unsetenv("HOME");
    else
        setenv("HOME", SavedHome.constData(), 1);
}
