#include "platform/protect/DataProtection.h"

#include "platform/app/PrivateFolder.h"
#include "platform/protect/KeychainKey.h"

#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int ErrorInvalidData = 13;
constexpr char UserScope = 'U';
constexpr char MachineScope = 'M';
// The user's key from the desktop's keychain; values of the key file stay readable.
constexpr char KeychainScope = 'K';

using Key = QByteArray;

bool readAll(int fd, char* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes a new random key into a private temporary file beside path and puts it in
// place: linked (exclusive) when there is no key file yet, renamed over a damaged one.
// Readers therefore never see a half-written key.
bool writeNewKey(const QByteArray& path, bool replace, Key* key, int* error)
{
    QByteArray temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // 0600
    if (fd < 0) {
        *error = errno;
        return false;
    }
    randombytes_buf(key->data(), static_cast<size_t>(key->size()));
    bool ok = ::write(fd, key->constData(), static_cast<size_t>(key->size())) == key->size() &&
              ::fsync(fd) == 0;
    *error = ok ? 0 : (errno ? errno : EIO);
    ::close(fd);
    if (ok) {
        ok = (replace ? ::rename(temp.constData(), path.constData())
                      : ::link(temp.constData(), path.constData())) == 0;
        if (!ok)
            *error = errno;
    }
    ::unlink(temp.constData()); // after a rename the name is gone already
    return ok;
}

enum class KeyFile { Read, Missing, Damaged, Failed };

KeyFile readKeyFile(const QByteArray& path, Key* key, int* error)
{
    // O_NONBLOCK: a FIFO put in the key's place must not hang the program.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        *error = errno;
        if (errno == ENOENT)
            return KeyFile::Missing;
        // Unreadable or a link: ours to replace, since the folder is the user's own.
        return errno == EACCES || errno == ELOOP ? KeyFile::Damaged : KeyFile::Failed;
    }
    struct stat info = {};
    const bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                    info.st_size == key->size() &&
                    readAll(fd, key->data(), static_cast<size_t>(key->size()));
    ::close(fd);
    if (ok)
        return KeyFile::Read;
    *error = ErrorInvalidData;
    return KeyFile::Damaged;
}

// The user's key, kept in a file that only the user can read. Created on first use;
// a damaged key file (wrong size, unreadable, not a plain file) is replaced, since what
// it protected cannot be read anyway and every later protection would fail for good.
bool fileKey(Key* key, int* error)
{
    const QString folder = protectionKeyFolder();
    if (!makePrivateFolder(folder, error))
        return false;
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/protect.key"));
    key->resize(crypto_secretbox_KEYBYTES);
    for (int attempt = 0; attempt < 2; ++attempt) {
        switch (readKeyFile(path, key, error)) {
        case KeyFile::Read:
            return true;
        case KeyFile::Failed:
            return false;
        case KeyFile::Missing:
            if (writeNewKey(path, false, key, error))
                return true;
            if (*error != EEXIST) // another process was first: read its key
                return false;
            break;
        case KeyFile::Damaged:
            return writeNewKey(path, true, key, error);
        }
    }
    return false;
}

// Where the user's key comes from: the one place to hook another key source.
bool userKey(Key* key, int* error)
{
    return fileKey(key, error);
}

bool machineKey(Key* key, int* error)
{
    QFile file(QStringLiteral("/etc/machine-id"));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = ENOENT;
        return false;
    }
    const QByteArray id = file.readAll().trimmed();
    static const char context[] = "Olvane machine-wide data protection";
    key->resize(crypto_secretbox_KEYBYTES);
    crypto_generichash(reinterpret_cast<unsigned char*>(key->data()), crypto_secretbox_KEYBYTES,
                       reinterpret_cast<const unsigned char*>(id.constData()),
                       static_cast<unsigned long long>(id.size()),
                       reinterpret_cast<const unsigned char*>(context), sizeof context - 1);
    return true;
}

bool keyFor(char scope, Key* key, int* error)
{
    if (sodium_init() < 0) {
        *error = ErrorInvalidData;
        return false;
    }
    if (scope == KeychainScope) {
        if (keychainKey(key, crypto_secretbox_KEYBYTES))
            return true;
        *error = ErrorInvalidData;
        return false;
    }
    return scope == MachineScope ? machineKey(key, error) : userKey(key, error);
}

auto bytes(QByteArray& a)
{
    return reinterpret_cast<unsigned char*>(a.data());
}
auto bytes(const QByteArray& a)
{
    return reinterpret_cast<const unsigned char*>(a.constData());
}
} // namespace

QString protectionKeyFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Olvane");
}

bool protectData(const QByteArray& plain, bool machineWide, QByteArray* blob, int* errorCode)
{
    int error = 0;
    char scope = machineWide ? MachineScope : KeychainScope;
    Key key;
    bool ok = keyFor(scope, &key, &error);
    if (!ok && scope == KeychainScope) {
        scope = UserScope;
        ok = keyFor(scope, &key, &error);
    }
    if (!ok) {
        if (errorCode)
            *errorCode = error;
        return false;
    }
    // scope tag | nonce | MAC + cipher text
    QByteArray out(1 + crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + plain.size(),
                   Qt::Uninitialized);
    out[0] = scope;
    unsigned char* nonce = bytes(out) + 1;
    randombytes_buf(nonce, crypto_secretbox_NONCEBYTES);
    crypto_secretbox_easy(nonce + crypto_secretbox_NONCEBYTES, bytes(plain),
                          static_cast<unsigned long long>(plain.size()), nonce, bytes(key));
    sodium_memzero(key.data(), static_cast<size_t>(key.size()));
    *blob = out;
    if (errorCode)
        *errorCode = 0;
    return true;
}

bool unprotectData(const QByteArray& blob, QByteArray* plain, int* errorCode)
{
    int error = ErrorInvalidData;
    const qsizetype header = 1 + crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES;
    Key key;
    bool ok = blob.size() >= header &&
              (blob[0] == UserScope || blob[0] == MachineScope || blob[0] == KeychainScope) &&
              keyFor(blob[0], &key, &error);
    if (ok) {
        QByteArray out(blob.size() - header, Qt::Uninitialized);
        const unsigned char* nonce = bytes(blob) + 1;
        ok = crypto_secretbox_open_easy(
                 bytes(out), nonce + crypto_secretbox_NONCEBYTES,
                 static_cast<unsigned long long>(blob.size() - 1 - crypto_secretbox_NONCEBYTES),
                 nonce, bytes(key)) == 0;
        sodium_memzero(key.data(), static_cast<size_t>(key.size()));
        if (ok)
            *plain = out;
        else
            error = ErrorInvalidData;
    }
    if (errorCode)
        *errorCode = ok ? 0 : error;
    return ok;
}
