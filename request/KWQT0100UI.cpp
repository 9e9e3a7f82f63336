// libKWQT0100UI: the proxy settings dialog and the busy pointer.
#include "request/KWQT0100UI.h"

#include "request/KWQT0100.h"
#include "request/proxy/frmProxyConfig.h"

#include <QGuiApplication>

extern "C" KWQT_EXPORT bool KwqtShowProxyConfigDialog(_ProxySettings* settings)
{
    return ShowProxyConfigDialog(settings);
}

extern "C" KWQT_EXPORT void KwqtSetBusyCursor(bool busy)
{
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}
