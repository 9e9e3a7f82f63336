#include "platform/process/SiblingLibrary.h"
#include "platform/protect/KeychainKey.h"
#include "platform/protect/KeychainPlugin.h"

#include <atomic>

namespace {
std::atomic<int> g_timeoutMs{5000};
} // namespace

bool keychainKey(QByteArray* key, int size)
{
    // Without the plugin there is no keychain to ask: protected values then use the
    // key file, as where no keychain answers.
    static const auto function = reinterpret_cast<KeychainKeyFunction>(siblingSymbol(
        reinterpret_cast<const void*>(&keychainKey), KeychainLibrary, KeychainKeySymbol));
    return function && function(key, size, g_timeoutMs);
}

void setKeychainTimeout(int milliseconds)
{
    g_timeoutMs = milliseconds;
}
