#include "platform/process/SiblingLibrary.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>

void* siblingSymbol(const void* anchor, const char* fileName, const char* symbol, QString* error)
{
    const auto fail = [error](const QString& why) -> void* {
        if (error)
            *error = why;
        return nullptr;
    };
    // A program that links the library already has the symbol, whatever the file's name.
    if (void* linked = dlsym(RTLD_DEFAULT, symbol))
        return linked;
    Dl_info info{};
    if (!dladdr(anchor, &info) || !info.dli_fname)
        return fail(QStringLiteral("the folder of the program's libraries is unknown"));
    const QString path = QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath() +
                         QLatin1Char('/') + QString::fromLatin1(fileName);
    // dlopen hands back the loaded library on every later call.
    void* library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return fail(QString::fromLocal8Bit(dlerror()));
    void* address = dlsym(library, symbol);
    if (!address)
        return fail(QString::fromLocal8Bit(dlerror()));
    return address;
}

bool applicationInherits(const char* className)
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && app->inherits(className);
}
