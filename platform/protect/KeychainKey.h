#pragma once
// The per-user protection key kept in the desktop's keychain (the Secret Service of
// GNOME Keyring or KWallet), so that protected values are bound to the user's login.
#include "platform/PlatformExport.h"

#include <QByteArray>

// The key of size bytes, created in the keychain on first use. False when no keychain
// answers within the time limit, or the program has no event loop to ask it with; the
// answer is kept for the rest of the run, so a silent keychain costs the wait once.
PLATFORM_EXPORT bool keychainKey(QByteArray* key, int size);
// How long to wait for each step of the keychain (default 5 seconds); tests shorten it.
PLATFORM_EXPORT void setKeychainTimeout(int milliseconds);
