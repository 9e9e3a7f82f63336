#pragma once
// How a raised error crosses an interface call: the callee catches it, stores it as
// the thread's error information and returns DISP_E_EXCEPTION; the caller turns the
// failed status back into the raised error (checkCall).
#include "platform/com/ComTypes.h"
#include "platform/com/RuntimeError.h"

#include <optional>

PLATFORM_EXPORT void setErrorInfo(const RuntimeError& error);
PLATFORM_EXPORT std::optional<RuntimeError> takeErrorInfo();

// Runs body; a raised error becomes DISP_E_EXCEPTION with its error information.
template <typename Body> HRESULT guardCall(Body&& body)
{
    try {
        return body();
    } catch (const RuntimeError& error) {
        setErrorInfo(error);
        return DISP_E_EXCEPTION;
    }
}

// A failed call raises the error it reported, or error 5 from source.
PLATFORM_EXPORT void checkCall(HRESULT hr, const QString& source);
