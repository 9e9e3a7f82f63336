#include "platform/com/RuntimeError.h"
#include "platform/process/SystemVersion.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"
#include "tests/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <gtest/gtest.h>
#include <limits>

TEST(SupportText, Utf8RoadsToBytesAndBack)
{
    const QString text = QStringLiteral("Жёлтый \"дом\" €\U0001F600");
    QString utf8;
    ASSERT_EQ(suUNICODEToUTF8(text, &utf8), 0);
    QByteArray bytes;
    ASSERT_EQ(suStrConvB(utf8, &bytes), 0);
    EXPECT_EQ(bytes, text.toUtf8());
    QString back;
    ASSERT_EQ(suStrConvW(bytes, &back), 0);
    EXPECT_EQ(back, utf8);
    QString decoded;
    ASSERT_EQ(suUTF8ToUNICODE(back, &decoded), 0);
    EXPECT_EQ(decoded, text);
    QString fromPointer;
    ASSERT_EQ(suGetStringFromPointerW(text.utf16() ? reinterpret_cast<const char16_t*>(text.utf16())
                                                   : nullptr,
                                      &fromPointer),
              0);
    EXPECT_EQ(fromPointer, text);
}

TEST(SupportText, TrimAndCut)
{
    struct Case
    {
        QString in, trimmed, noCrLf;
    } cases[] = {
        {QStringLiteral(" \t a b \r\n"), QStringLiteral("a b"), QStringLiteral(" \t a b ")},
        {QStringLiteral("x\r\n\r\n"), QStringLiteral("x"), QStringLiteral("x")},
        {QString(), QString(), QString()},
        {QStringLiteral("   "), QString(), QStringLiteral("   ")},
    };
    for (const Case& c : cases) {
        QString out;
        ASSERT_EQ(suTrimEx(c.in, &out), 0);
        EXPECT_EQ(out, c.trimmed) << c.in.toStdString();
        ASSERT_EQ(
            suTrimEx2(c.in, true, true, true, true, true, false, false, false, false, false, &out),
            0);
        EXPECT_EQ(out, c.trimmed);
        ASSERT_EQ(suTrimCRLF(c.in, &out), 0);
        EXPECT_EQ(out, c.noCrLf);
    }
    QString cut;
    ASSERT_EQ(suCutRight(QStringLiteral("abcdef"), 2, &cut), 0);
    EXPECT_EQ(cut, QStringLiteral("abcd"));
    ASSERT_EQ(suCutRight(QStringLiteral("ab"), 5, &cut), 0);
    EXPECT_EQ(cut, QString());
    EXPECT_LT(suCutRight(QStringLiteral("ab"), -1, &cut), 0);
}

TEST(SupportText, FormatsTimeIntervals)
{
    const std::pair<double, const char*> cases[] = {
        {0, "0 sec"},
        {3000, "3 sec"},
        {59999, "59 sec"},
        {480000, "8 min 00 sec"},
        {3723000, "1 hr 02 min 03 sec"},
        // beyond any wait: clamped, not wrapped
        {1e300, "999999 hr 59 min 59 sec"},
        {std::numeric_limits<double>::infinity(), "999999 hr 59 min 59 sec"}};
    for (const auto& [ms, expected] : cases) {
        QString text, trimmed;
        ASSERT_EQ(suFormatTimeInterval(ms, &text), 0);
        suTrimEx(text, &trimmed);
        EXPECT_EQ(trimmed, QString::fromLatin1(expected));
    }
    QString text;
    EXPECT_LT(suFormatTimeInterval(-1, &text), 0);
    EXPECT_THROW(checkStatus(suFormatTimeInterval(-1, &text), "suFormatTimeInterval"),
                 RuntimeError);
}

TEST(SupportFbe, HexRandomAndGuid)
{
    QString hex;
    for (auto [byte, expected] : {std::pair{0, "00"}, {15, "0F"}, {16, "10"}, {255, "FF"}}) {
        ASSERT_EQ(sxHex1(static_cast<unsigned char>(byte), &hex), 0);
        EXPECT_EQ(hex, QString::fromLatin1(expected));
    }
    QSet<int> seen;
    for (int i = 0; i < 2000; ++i) {
        int value = -1;
        ASSERT_EQ(sxGetRnd(0, 3, 0, &value), 0);
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 3);
        seen.insert(value);
    }
    EXPECT_EQ(seen.size(), 4); // both bounds included
    QString guid;
    ASSERT_EQ(sxGetNewGUID(&guid), 0);
    EXPECT_EQ(guid.size(), 38);
    EXPECT_TRUE(guid.startsWith(QLatin1Char('{')) && guid.endsWith(QLatin1Char('}')));
}

TEST(SupportFbe, FileNames)
{
    QString path;
    const QString none;
    ASSERT_EQ(sxBuildFileName2(QStringLiteral("/a/b/"), QStringLiteral("c.txt"), none, none, none,
                               none, none, none, none, &path),
              0);
    EXPECT_EQ(path, QStringLiteral("/a/b/c.txt"));
    ASSERT_EQ(sxBuildFileName2(QStringLiteral("/a/b"), QStringLiteral("c"), QStringLiteral("d"),
                               none, none, none, none, none, none, &path),
              0);
    EXPECT_EQ(path, QStringLiteral("/a/b/c/d"));
    ASSERT_EQ(sxGetFilePath(QStringLiteral("/home/u/diary.txt"), &path), 0);
    EXPECT_EQ(path, QStringLiteral("/home/u"));

    QString first, second;
    ASSERT_EQ(sxGetTempFileName2(testFolder(), QStringLiteral("TMP"), &first), 0);
    ASSERT_EQ(sxGetTempFileName2(testFolder(), QStringLiteral("TMP"), &second), 0);
    EXPECT_NE(first, second);
    EXPECT_TRUE(QFileInfo(first).fileName().startsWith(QStringLiteral("TMP")));
    EXPECT_EQ(QFile::permissions(first),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    bool exists = false;
    ASSERT_EQ(sxIsFileExist(first, &exists), 0);
    EXPECT_TRUE(exists);
    ASSERT_EQ(sxIsFileExist(testFolder(), &exists), 0);
    EXPECT_FALSE(exists); // a folder is no file
    EXPECT_LT(
        sxGetTempFileName2(QStringLiteral("/nonexistent/folder"), QStringLiteral("TMP"), &first),
        0);

    QString module;
    ASSERT_EQ(sxGetModuleFileName(reinterpret_cast<const void*>(&sxHex1), -1, &module), 0);
    EXPECT_TRUE(module.endsWith(QStringLiteral("libolvsupportfbe0100.so"))) << module.toStdString();
}

TEST(SupportFbe, VersionTestsAnswerForTheNtFamily)
{
    bool value = true;
    sxIsHostWin9x(&value);
    EXPECT_FALSE(value);
    sxIsHostWinNT(&value);
    EXPECT_TRUE(value);
    setSystemVersion({5, 0});
    int major = 0, minor = -1;
    sxWindowsVersionMajor(&major);
    sxWindowsVersionMinor(&minor);
    EXPECT_EQ(major, 5);
    EXPECT_EQ(minor, 0);
    setSystemVersion({});
    sxWindowsVersionMajor(&major);
    EXPECT_GT(major, 0);
}
