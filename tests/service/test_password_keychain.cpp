// The protection key in the desktop's keychain: a real GNOME Keyring in a private D-Bus
// session (run_with_keyring.sh), and a bus that never answers.
#include "platform/protect/DataProtection.h"
#include "platform/protect/KeychainKey.h"
#include "poster/service/modPasswordCryptor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
QString keyFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Olvane/protect.key");
}

// A value as the key file protected it: scope 'U', nonce, then the sealed text.
QString sealedWithKeyFile(const QByteArray& plain)
{
    QByteArray key(crypto_secretbox_KEYBYTES, Qt::Uninitialized);
    randombytes_buf(key.data(), static_cast<size_t>(key.size()));
    QDir().mkpath(QFileInfo(keyFile()).path());
    QFile file(keyFile());
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(key);
    file.close();
    QByteArray blob(1 + crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + plain.size(),
                    Qt::Uninitialized);
    blob[0] = 'U';
    auto* nonce = reinterpret_cast<unsigned char*>(blob.data()) + 1;
    randombytes_buf(nonce, crypto_secretbox_NONCEBYTES);
    crypto_secretbox_easy(nonce + crypto_secretbox_NONCEBYTES,
                          reinterpret_cast<const unsigned char*>(plain.constData()),
                          static_cast<unsigned long long>(plain.size()), nonce,
                          reinterpret_cast<const unsigned char*>(key.constData()));
    return QStringLiteral("Z") + QString::fromLatin1(blob.toHex().toUpper());
}
} // namespace

TEST(Keychain, KeepsTheUserKeyAndReadsValuesOfTheKeyFile)
{
    ASSERT_GE(sodium_init(), 0);
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"));
    const QString password = QStringLiteral("пароль secret");
    const QString stored = EncodePassword(password, 2);
    EXPECT_TRUE(stored.startsWith(QStringLiteral("Z4B"))) << stored.toStdString(); // 'K'
    EXPECT_EQ(DecodePassword(stored), password);
    EXPECT_FALSE(QFile::exists(keyFile()));

    QByteArray key, again;
    ASSERT_TRUE(keychainKey(&key, crypto_secretbox_KEYBYTES));
    ASSERT_TRUE(keychainKey(&again, crypto_secretbox_KEYBYTES));
    EXPECT_EQ(key, again);

    // Values of the key file stay readable next to the keychain.
    const QString old = sealedWithKeyFile(QByteArray("\0U8old", 6));
    EXPECT_EQ(DecodePassword(old), QStringLiteral("old"));
    EXPECT_TRUE(EncodePassword(password, 1).startsWith(QStringLiteral("Z4D"))); // 'M'
}

TEST(SilentKeychain, ABusThatNeverAnswersCostsOneBoundedWait)
{
    // A session bus that takes the connection and never says a word.
    QTemporaryDir folder;
    const QByteArray path = QFile::encodeName(folder.path() + QStringLiteral("/bus"));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path);
    setKeychainTimeout(1500);

    QElapsedTimer timer;
    timer.start();
    const QString stored = EncodePassword(QStringLiteral("secret"), 2);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_TRUE(stored.startsWith(QStringLiteral("Z55"))) << stored.toStdString(); // 'U'
    EXPECT_EQ(DecodePassword(stored), QStringLiteral("secret"));
    timer.restart();
    EXPECT_EQ(DecodePassword(EncodePassword(QStringLiteral("again"), 2)), QStringLiteral("again"));
    EXPECT_LT(timer.elapsed(), 1000); // the silent keychain is not asked again
    EXPECT_TRUE(QFile::exists(keyFile()));
    ::close(listener);
}
