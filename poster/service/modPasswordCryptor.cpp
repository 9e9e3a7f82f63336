#include "poster/service/modPasswordCryptor.h"

#include "platform/text/AnsiCodePage.h"
#include "poster/service/modProtectData.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

#include <cerrno>
#include <exception>

namespace {
// Protected data of new values: this mark, then the password in UTF-8, so that every
// character survives. Values without it hold ANSI bytes, as older versions wrote them;
// an ANSI password cannot begin with a zero byte, so the two never mix.
const QByteArray Utf8Mark("\0U8", 3);

// A protection that failed without a code of the system's own.
constexpr int ErrorProtectionFailed = EIO;

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

// Two characters as a hexadecimal byte; -1 when they are not one.
int hexPair(const QString& text, qsizetype at)
{
    const int high = hexDigit(text.at(at));
    const int low = hexDigit(text.at(at + 1));
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

QString hex1(unsigned char byte)
{
    QString digits;
    if (sxHex1(byte, &digits) < 0 || digits.size() != 2)
        return {};
    return digits;
}

// The character's single byte in the ANSI code page, or -1 when the code page has none.
int ansiCode(QChar c)
{
    const QString one(c);
    const QByteArray byte = toAnsi(one);
    if (byte.size() != 1 || fromAnsi(byte) != one)
        return -1;
    return static_cast<unsigned char>(byte.at(0));
}
} // namespace

QString EncodePassword(const QString& password, int mode, int* errorCode)
{
    if (errorCode)
        *errorCode = 0;
    if (mode < 0 || mode > 2 || password.isEmpty())
        return {};
    if (mode == 0)
        return ScramblePassword(password);
    int error = 0;
    QString stored = ProtectToHex(password, mode == 1, &error);
    // The keyless form only where the system has no protection at all; a protection
    // that failed here must not quietly leave the password readable instead.
    if (stored.isEmpty() && error == ErrorOldWinVersion)
        stored = ScramblePassword(password);
    else if (stored.isEmpty() && errorCode)
        *errorCode = error;
    return stored;
}

QString DecodePassword(const QString& stored)
{
    if (stored.isEmpty())
        return {};
    QString password = UnprotectFromHex(stored);
    if (password.isEmpty())
        password = UnscramblePassword(stored);
    return password;
}

QString ProtectToHex(const QString& password, bool machineWide, int* errorCode)
{
    int error = 0;
    try {
        QByteArray blob;
        QString hex;
        if (ProtectData(Utf8Mark + password.toUtf8(), machineWide, &blob, &error) &&
            BytesToHex(blob, &hex)) {
            if (errorCode)
                *errorCode = 0;
            return QStringLiteral("Z") + hex;
        }
    } catch (const std::exception&) {
    }
    if (errorCode)
        *errorCode = error ? error : ErrorProtectionFailed;
    return {};
}

QString UnprotectFromHex(const QString& stored)
{
    try {
        if (stored.isEmpty() || stored.at(0).toUpper() != QLatin1Char('Z'))
            return {};
        QByteArray blob;
        QByteArray plain;
        if (!HexToBytes(stored.mid(1), &blob) || !UnprotectData(blob, &plain, nullptr))
            return {};
        if (plain.startsWith(Utf8Mark))
            return QString::fromUtf8(plain.mid(Utf8Mark.size()));
        return fromAnsi(plain);
    } catch (const std::exception&) {
        return {};
    }
}

QString ScramblePassword(const QString& password)
{
    QString result;
    result.reserve(password.size() * 4);
    for (qsizetype i = password.size() - 1; i >= 0; --i) {
        const int code = ansiCode(password.at(i));
        int noise = 0;
        // A character the code page lacks would come back as another one.
        if (code < 0 || sxGetRnd(0, 255, 0, &noise) < 0)
            return {};
        result += hex1(static_cast<unsigned char>(255 - code));
        result += hex1(static_cast<unsigned char>(noise));
    }
    return result;
}

QString UnscramblePassword(const QString& stored)
{
    if (stored.size() % 4 != 0)
        return {};
    // The groups run from the last character to the first.
    QByteArray codes(stored.size() / 4, Qt::Uninitialized);
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const int a = hexPair(stored, 4 * i);
        if (a < 0)
            return {};
        codes[codes.size() - 1 - i] = static_cast<char>(255 - a);
    }
    return fromAnsi(codes);
}

bool BytesToHex(const QByteArray& bytes, QString* text)
{
    if (bytes.isEmpty() || !text)
        return false;
    *text = QString::fromLatin1(bytes.toHex().toUpper());
    return true;
}

bool HexToBytes(const QString& text, QByteArray* bytes)
{
    if (!bytes)
        return false;
    if (text.size() % 2 != 0)
        return false;
    QByteArray out(text.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < out.size(); ++i) {
        const int byte = hexPair(text, 2 * i);
        if (byte < 0)
            return false;
        out[i] = static_cast<char>(byte);
    }
    *bytes = out;
    return true;
}
