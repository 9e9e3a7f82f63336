#include "poster/workflow/frmMain.h"
#include "poster/workflow/modApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(App().EXEName);
    QApplication::setApplicationDisplayName(App().Title);
    QApplication::setOrganizationName(App().CompanyName);
    QApplication::setApplicationVersion(QStringLiteral(BRIVET_VERSION));
    RegisterComponentClasses();

    frmMain window;
    window.show();
    return QApplication::exec();
}
