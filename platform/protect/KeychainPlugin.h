#pragma once
// The entry point of libolvkeychain, the plugin that talks to the desktop's keychain
// over D-Bus. It is loaded when a protected value is first read or written, so that a
// program start maps none of D-Bus, libsecret or Kerberos.
#include <QByteArray>

constexpr char KeychainLibrary[] = "libolvkeychain.so";

extern "C" {
// keychainKey (KeychainKey.h), each step of the keychain waited for at most timeoutMs.
using KeychainKeyFunction = bool (*)(QByteArray* key, int size, int timeoutMs);
constexpr char KeychainKeySymbol[] = "olvKeychainKey";
}
