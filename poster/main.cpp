#include "poster/workflow/modMain.h"

#include <QApplication>
#include <cstring>

namespace {
// --help and --version only print, so they need no display: on a terminal without one
// (ssh, a console) they answer instead of failing to find a window system.
bool OnlyPrints(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}
} // namespace

int main(int argc, char* argv[])
{
    if (OnlyPrints(argc, argv))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return StartUp();
}
