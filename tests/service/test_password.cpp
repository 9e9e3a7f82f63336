// Remembered passwords: the three stored forms, the scrambled form only where the system
// has no protection, and values that cannot be decoded.
#include "platform/process/SystemVersion.h"
#include "platform/protect/DataProtection.h"
#include "platform/text/AnsiCodePage.h"
#include "poster/service/modPasswordCryptor.h"
#include "poster/service/modProtectData.h"
#include "tests/TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

namespace {
class PasswordTest : public ::testing::Test
{
protected:
    void SetUp() override { setAnsiCodePage(1252); }
    void TearDown() override
    {
        setAnsiCodePage(0);
        setSystemVersion({0, 0});
    }
};

// A system without data protection, as the older ones were.
struct NoProtection
{
    NoProtection() { setSystemVersion({4, 0}); }
    ~NoProtection() { setSystemVersion({0, 0}); }
};

bool isScrambled(const QString& stored)
{
    static const QRegularExpression form(QStringLiteral("^([0-9A-F]{4})+$"));
    return form.match(stored).hasMatch();
}

bool isProtected(const QString& stored)
{
    static const QRegularExpression form(QStringLiteral("^Z([0-9A-F]{2})+$"));
    return form.match(stored).hasMatch();
}

QString hexOf(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}
} // namespace

TEST_F(PasswordTest, EmptyPasswordsAndUnknownModesGiveEmptyTexts)
{
    for (const int mode : {0, 1, 2})
        EXPECT_EQ(EncodePassword(QString(), mode), QString()) << mode;
    for (const int mode : {-1, 3, 100})
        EXPECT_EQ(EncodePassword(QStringLiteral("secret"), mode), QString()) << mode;
    EXPECT_EQ(DecodePassword(QString()), QString());
}

TEST_F(PasswordTest, EachSaveDiffersAndEveryFormDecodes)
{
    const QString password = QStringLiteral("Pa55 wörd!");
    for (const int mode : {0, 1, 2}) {
        const QString first = EncodePassword(password, mode);
        const QString second = EncodePassword(password, mode);
        EXPECT_NE(first, second) << mode;
        EXPECT_EQ(DecodePassword(first), password) << mode;
        EXPECT_EQ(DecodePassword(second), password) << mode;
        EXPECT_FALSE(first.contains(password)) << mode;
        if (mode == 0) {
            EXPECT_TRUE(isScrambled(first)) << first.toStdString();
            EXPECT_EQ(first.size(), 4 * password.size());
        } else {
            EXPECT_TRUE(isProtected(first)) << first.toStdString();
            EXPECT_EQ(first.size() % 2, 1);
        }
    }
}

TEST_F(PasswordTest, OneCharacterScramblesToItsComplementAndANoiseByte)
{
    const QString stored = ScramblePassword(QStringLiteral("A"));
    ASSERT_EQ(stored.size(), 4);
    EXPECT_EQ(stored.left(2), QStringLiteral("BE")); // 255 - 65
    EXPECT_TRUE(isScrambled(stored));
    for (const char* form : {"BE00", "be7f", "Be3C", "BEFF"})
        EXPECT_EQ(UnscramblePassword(QString::fromLatin1(form)), QStringLiteral("A")) << form;
    // Groups run from the last character to the first.
    EXPECT_EQ(UnscramblePassword(QStringLiteral("BD00BE00")), QStringLiteral("AB"));
    EXPECT_EQ(ScramblePassword(QStringLiteral("AB")).left(2), QStringLiteral("BD"));
}

TEST_F(PasswordTest, MalformedScrambledTextsGiveEmptyPasswords)
{
    for (const char* stored : {"BE00B", "BE0", "ZZ00", "B 00", "+E00", "BE00GG00"})
        EXPECT_EQ(DecodePassword(QString::fromLatin1(stored)), QString()) << stored;
}

TEST_F(PasswordTest, DamagedOrForeignProtectedValuesGiveEmptyPasswords)
{
    const QString stored = EncodePassword(QStringLiteral("secret"), 2);
    ASSERT_TRUE(isProtected(stored));

    QString flipped = stored;
    flipped[20] = flipped[20] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    QString lowerZ = stored;
    lowerZ[0] = QLatin1Char('z');
    EXPECT_EQ(DecodePassword(lowerZ), QStringLiteral("secret"));
    EXPECT_EQ(DecodePassword(stored.toLower()), QStringLiteral("secret"));

    const QString cases[] = {
        flipped,
        stored.left(stored.size() - 1),                      // odd number of digits
        stored.left(stored.size() - 2),                      // cut short
        QStringLiteral("Z") + QString(80, QLatin1Char('A')), // made with another key
        QStringLiteral("Z"),
        QStringLiteral("ZXY"),
        QStringLiteral("Z0102030"),
    };
    for (const QString& value : cases)
        EXPECT_EQ(DecodePassword(value), QString()) << value.toStdString();
}

TEST_F(PasswordTest, AnotherUsersValueCannotBeRead)
{
    const QString stored = EncodePassword(QStringLiteral("secret"), 2);
    const QByteArray own = qgetenv("XDG_DATA_HOME");
    QTemporaryDir other;
    qputenv("XDG_DATA_HOME", other.path().toLocal8Bit());
    const QString there = DecodePassword(stored);
    const QString theirs = EncodePassword(QStringLiteral("secret"), 2);
    qputenv("XDG_DATA_HOME", own);
    EXPECT_EQ(there, QString());
    EXPECT_EQ(DecodePassword(theirs), QString());
    EXPECT_EQ(DecodePassword(stored), QStringLiteral("secret"));
}

TEST_F(PasswordTest, ProtectedValuesKeepCharactersOutsideTheCodePage)
{
    const QString password = QStringLiteral("пароль €1 日本 🙂");
    EXPECT_EQ(DecodePassword(EncodePassword(password, 2)), password);
    EXPECT_EQ(DecodePassword(EncodePassword(password, 1)), password);
    // A password beginning with a zero character is kept too.
    const QString zero = QString(QChar(0)) + QStringLiteral("U8x");
    EXPECT_EQ(DecodePassword(EncodePassword(zero, 2)), zero);
}

TEST_F(PasswordTest, TheScrambledFormNeverStoresAnAlteredPassword)
{
    const QString cyrillic = QStringLiteral("пароль");
    EXPECT_EQ(ScramblePassword(cyrillic), QString());
    EXPECT_EQ(EncodePassword(cyrillic, 0), QString());
    setAnsiCodePage(1251);
    EXPECT_EQ(DecodePassword(EncodePassword(cyrillic, 0)), cyrillic);
    setAnsiCodePage(1252);

    NoProtection old;
    EXPECT_EQ(EncodePassword(cyrillic, 2), QString());
    const QString latin = QStringLiteral("Crème brûlée");
    const QString stored = EncodePassword(latin, 2);
    EXPECT_TRUE(isScrambled(stored));
    EXPECT_EQ(DecodePassword(stored), latin);
}

TEST_F(PasswordTest, ValuesOfEarlierVersionsAreReadAsAnsiText)
{
    // Earlier versions protected the password's ANSI bytes, without a mark.
    QByteArray blob;
    setAnsiCodePage(1251);
    ASSERT_TRUE(protectData(toAnsi(QStringLiteral("пароль")), false, &blob, nullptr));
    EXPECT_EQ(DecodePassword(QStringLiteral("Z") + hexOf(blob)), QStringLiteral("пароль"));
    setAnsiCodePage(1252);
    ASSERT_TRUE(protectData(toAnsi(QStringLiteral("Crème")), true, &blob, nullptr));
    EXPECT_EQ(DecodePassword(QStringLiteral("z") + hexOf(blob).toLower()), QStringLiteral("Crème"));
}

TEST_F(PasswordTest, WithoutDataProtectionEveryModeScrambles)
{
    NoProtection old;
    QByteArray out;
    int error = -1;
    EXPECT_FALSE(ProtectData("abc", false, &out, &error));
    EXPECT_EQ(error, ErrorOldWinVersion);
    EXPECT_FALSE(UnprotectData("abc", &out, &error));
    EXPECT_EQ(error, ErrorOldWinVersion);
    EXPECT_EQ(ProtectToHex(QStringLiteral("secret"), false), QString());
    for (const int mode : {1, 2}) {
        const QString stored = EncodePassword(QStringLiteral("secret"), mode);
        EXPECT_TRUE(isScrambled(stored)) << stored.toStdString();
        EXPECT_EQ(DecodePassword(stored), QStringLiteral("secret"));
    }
}

TEST_F(PasswordTest, AFailedProtectionNeverFallsBackToTheScrambledForm)
{
    // A file where the key's folder belongs: no key, so nothing may be stored.
    const QByteArray own = qgetenv("XDG_DATA_HOME");
    QTemporaryDir other;
    QFile blocker(other.path() + QStringLiteral("/Olvane"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_DATA_HOME", other.path().toLocal8Bit());
    int error = 0;
    const QString user = EncodePassword(QStringLiteral("secret"), 2, &error);
    const int userError = error;
    EXPECT_EQ(ProtectToHex(QStringLiteral("secret"), false, &error), QString());
    const int hexError = error;
    qputenv("XDG_DATA_HOME", own);
    EXPECT_EQ(user, QString());
    EXPECT_EQ(userError, ENOTDIR);
    EXPECT_EQ(hexError, ENOTDIR);
    // Success clears the code; so does the older systems' keyless form.
    EXPECT_TRUE(isProtected(EncodePassword(QStringLiteral("secret"), 2, &error)));
    EXPECT_EQ(error, 0);
    NoProtection old;
    EXPECT_TRUE(isScrambled(EncodePassword(QStringLiteral("secret"), 2, &error)));
    EXPECT_EQ(error, 0);
}

TEST_F(PasswordTest, ProtectDataReportsItsFailures)
{
    QByteArray out;
    int error = -1;
    EXPECT_FALSE(ProtectData(QByteArray(), false, &out, &error));
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(UnprotectData("not a protected blob", &out, &error));
    EXPECT_NE(error, 0);
    ASSERT_TRUE(ProtectData("abc", false, &out, &error));
    EXPECT_EQ(error, 0);
    QByteArray plain;
    ASSERT_TRUE(UnprotectData(out, &plain, &error));
    EXPECT_EQ(plain, QByteArray("abc"));
}

TEST_F(PasswordTest, HexadecimalConversions)
{
    QString text;
    EXPECT_FALSE(BytesToHex(QByteArray(), &text));
    ASSERT_TRUE(BytesToHex(QByteArray("\x00\x0f\xa0\xff", 4), &text));
    EXPECT_EQ(text, QStringLiteral("000FA0FF"));

    struct Case
    {
        const char* text;
        bool ok;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"", true, QByteArray()}, {"000fA0Ff", true, QByteArray("\x00\x0f\xa0\xff", 4)},
        {"abc", false, {}},       {"0G", false, {}},
        {" 1", false, {}},        {"-1", false, {}},
    };
    for (const Case& c : cases) {
        QByteArray bytes("unchanged");
        EXPECT_EQ(HexToBytes(QString::fromLatin1(c.text), &bytes), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(bytes, c.bytes) << c.text;
        }
    }
}
