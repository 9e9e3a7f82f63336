#pragma once
// Binds secrets to the user (or to this machine): authenticated encryption with a
// random per-user key kept in a file that only the user can read, or with a key
// derived from /etc/machine-id for the machine-wide scope.
#include "platform/PlatformExport.h"

#include <QByteArray>

// The error code is 0 on success, an errno value when a key file fails, and 13
// (invalid data) when a blob is damaged or was made with another key.
PLATFORM_EXPORT bool protectData(const QByteArray& plain, bool machineWide, QByteArray* blob,
                                 int* errorCode);
// The folder of the user's key file, for messages about a protection that failed.
PLATFORM_EXPORT QString protectionKeyFolder();
PLATFORM_EXPORT bool unprotectData(const QByteArray& blob, QByteArray* plain, int* errorCode);
