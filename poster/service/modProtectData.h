#pragma once
// The platform's user-scoped data protection as the password code calls it: no extra
// entropy, no description, no prompt.
#include <QByteArray>

// Error codes: 0 on success, 1150 when the system has no data protection, otherwise
// the platform's error code of the failed call. Empty input fails with code 0.
constexpr int ErrorOldWinVersion = 1150;

// machineWide: bind to this computer rather than to the user.
bool ProtectData(const QByteArray& plain, bool machineWide, QByteArray* protectedData,
                 int* errorCode);
bool UnprotectData(const QByteArray& protectedData, QByteArray* plain, int* errorCode);
