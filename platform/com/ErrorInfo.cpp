#include "platform/com/ErrorInfo.h"

namespace {
thread_local std::optional<RuntimeError> lastError;
}

void setErrorInfo(const RuntimeError& error)
{
    lastError = error;
}

std::optional<RuntimeError> takeErrorInfo()
{
    return std::exchange(lastError, std::nullopt);
}

void checkCall(HRESULT hr, const QString& source)
{
    if (SUCCEEDED(hr))
        return;
    if (auto error = takeErrorInfo(); error && hr == DISP_E_EXCEPTION)
        throw *error;
    raiseError(ErrInvalidProcedureCall, source,
               QStringLiteral("The call failed with status 0x%1")
                   .arg(static_cast<quint32>(hr), 8, 16, QLatin1Char('0')));
}
