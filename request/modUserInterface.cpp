#include "request/modUserInterface.h"

#include "platform/com/ErrorInfo.h"
#include "platform/process/SiblingLibrary.h"
#include "request/KWQT0100UI.h"

namespace {
template <typename Function> Function entry(const char* symbol, QString* error)
{
    return reinterpret_cast<Function>(siblingSymbol(
        reinterpret_cast<const void*>(&OpenProxyConfigDialog), KWQT0100UILibrary, symbol, error));
}

SetBusyCursorFunction busyCursor()
{
    static const auto function = entry<SetBusyCursorFunction>(SetBusyCursorSymbol, nullptr);
    return function;
}
} // namespace

bool OpenProxyConfigDialog(_ProxySettings* settings)
{
    if (!applicationInherits("QApplication"))
        raiseError(ErrInvalidProcedureCall, QStringLiteral("ProxySettings"),
                   QStringLiteral("The proxy settings dialog needs a desktop application"));
    QString error;
    const auto show = entry<ShowProxyConfigDialogFunction>(ShowProxyConfigDialogSymbol, &error);
    if (!show)
        raiseError(ErrCantCreateObject, QStringLiteral("ProxySettings"),
                   QStringLiteral("The proxy settings dialog could not be loaded: %1").arg(error));
    return show(settings);
}

HourglassCursor::HourglassCursor(bool wanted)
{
    if (!wanted || !applicationInherits("QGuiApplication"))
        return;
    const SetBusyCursorFunction setBusy = busyCursor();
    if (!setBusy)
        return;
    setBusy(true);
    m_on = true;
}

HourglassCursor::~HourglassCursor()
{
    if (m_on)
        busyCursor()(false);
}
