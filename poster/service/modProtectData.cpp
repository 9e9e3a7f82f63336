#include "poster/service/modProtectData.h"

#include "platform/protect/DataProtection.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

namespace {
bool hasDataProtection()
{
    bool win2000 = false;
    return sxIsHostWin2000_OrHigher(&win2000) >= 0 && win2000;
}

bool fail(int code, int* errorCode)
{
    if (errorCode)
        *errorCode = code;
    return false;
}
} // namespace

bool ProtectData(const QByteArray& plain, bool machineWide, QByteArray* protectedData,
                 int* errorCode)
{
    if (!hasDataProtection())
        return fail(ErrorOldWinVersion, errorCode);
    if (plain.isEmpty())
        return fail(0, errorCode);
    QByteArray blob;
    int error = 0;
    if (!protectData(plain, machineWide, &blob, &error))
        return fail(error, errorCode);
    if (protectedData)
        *protectedData = blob;
    if (errorCode)
        *errorCode = 0;
    return true;
}

bool UnprotectData(const QByteArray& protectedData, QByteArray* plain, int* errorCode)
{
    if (!hasDataProtection())
        return fail(ErrorOldWinVersion, errorCode);
    if (protectedData.isEmpty())
        return fail(0, errorCode);
    QByteArray bytes;
    int error = 0;
    if (!unprotectData(protectedData, &bytes, &error))
        return fail(error, errorCode);
    if (plain)
        *plain = bytes;
    if (errorCode)
        *errorCode = 0;
    return true;
}
