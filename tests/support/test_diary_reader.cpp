#include "platform/com/ClassRegistry.h"
#include "platform/text/AnsiCodePage.h"
#include "support/diary/DiaryFileReader.h"
#include "tests/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
ComPtr<IDiaryFileReader> reader()
{
    return createObject<IDiaryFileReader>(CLSID_DiaryFileReader);
}

const QString tricky = QStringLiteral("DIARY-EXPORT 1\n"
                                      "POST 2011-12-31 23:59:58\n"
                                      "ADULT\n"
                                      "TITLE Ёлка\n"
                                      "BODY\n"
                                      "first line\n"
                                      "POST 2001-01-01 00:00:00\n"
                                      "BODY\n"
                                      "..\n"
                                      "...dots\n"
                                      "\n"
                                      ".\n"
                                      "POST 2012-01-01 00:00:00\n"
                                      "BODY\n"
                                      ".\n");

QByteArray utf16(const QString& text, bool little)
{
    QByteArray bytes = little ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (const QChar c : text) {
        const char hi = static_cast<char>(c.unicode() >> 8),
                   lo = static_cast<char>(c.unicode() & 0xFF);
        bytes.append(little ? lo : hi).append(little ? hi : lo);
    }
    return bytes;
}
} // namespace

TEST(DiaryFileReader, ReadsTheSampleDiaryInFileOrder)
{
    auto r = reader();
    ASSERT_TRUE(r->LoadFile(sourceFolder() + QStringLiteral("/examples/sample-diary.txt")))
        << r->LastError().toStdString();
    const ComPtr<IDiaryPostList> posts = r->Posts();
    ASSERT_EQ(posts->Count(), 12);
    const ComPtr<IDiaryPost> first = posts->Item(0);
    EXPECT_EQ(first->PostDate(), QDateTime(QDate(2010, 3, 5), QTime(19, 7, 3), Qt::UTC));
    EXPECT_EQ(first->Title(), QStringLiteral("Spring"));
    EXPECT_TRUE(first->AdultOnly());
    EXPECT_TRUE(first->Body().contains(QStringLiteral("late.\r\nThe river")));
    EXPECT_TRUE(posts->Item(2)->Title().isEmpty());
    EXPECT_FALSE(posts->Item(2)->AdultOnly());
    EXPECT_EQ(posts->Item(11)->Title(), QStringLiteral("Русский текст"));
    EXPECT_THROW(posts->Item(12), RuntimeError);
}

TEST(DiaryFileReader, KeepsBodiesExactlyInEveryEncoding)
{
    const struct
    {
        const char* name;
        QByteArray bytes;
    } files[] = {
        {"utf8.txt", tricky.toUtf8()},
        {"utf8bom.QNP", "\xEF\xBB\xBF" + tricky.toUtf8()},
        {"crlf.txt",
         QString(tricky).replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toUtf8()},
        {"utf16le.txt", utf16(tricky, true)},
        {"utf16be.txt", utf16(tricky, false)},
        {"cp1251.txt", toAnsi(tricky, 1251)},
    };
    for (const auto& file : files) {
        auto r = reader();
        ASSERT_TRUE(r->LoadFile(writeTestFile(QString::fromLatin1(file.name), file.bytes)))
            << file.name << ": " << r->LastError().toStdString();
        const ComPtr<IDiaryPostList> posts = r->Posts();
        ASSERT_EQ(posts->Count(), 2) << file.name;
        const ComPtr<IDiaryPost> post = posts->Item(0);
        EXPECT_EQ(post->Title(), QStringLiteral("Ёлка")) << file.name;
        EXPECT_TRUE(post->AdultOnly());
        EXPECT_EQ(post->PostDate(), QDateTime(QDate(2011, 12, 31), QTime(23, 59, 58), Qt::UTC));
        EXPECT_EQ(
            post->Body(),
            QStringLiteral("first line\r\nPOST 2001-01-01 00:00:00\r\nBODY\r\n.\r\n..dots\r\n"))
            << file.name;
        EXPECT_EQ(posts->Item(1)->Body(), QString());
        EXPECT_EQ(posts->Item(1)->Index(), 2);
    }
}

TEST(DiaryFileReader, RefusesBadFilesWithAClearReason)
{
    const QByteArray head = "DIARY-EXPORT 1\n";
    const struct
    {
        const char* name;
        QByteArray bytes;
        const char* reason;
    } files[] = {
        {"empty.txt", "", "The file is empty."},
        {"binary.txt", QByteArray("DIARY-EXPORT 1\n\x00\x01\x02", 18), "binary data"},
        {"notdiary.txt", "Dear diary,\ntoday...\n", "not a diary export file"},
        {"version.txt", "DIARY-EXPORT 7\n", "line 1: unsupported format"},
        {"baddate.txt", head + "POST 2010-02-30 10:00:00\nBODY\n.\n", "line 2: the date and time"},
        {"badtime.txt", head + "POST 2010-02-03 24:00:00\nBODY\n.\n", "line 2: the date and time"},
        {"junk.txt", head + "\nhello\n", "line 3: expected a POST line, found \"hello\""},
        {"header.txt", head + "POST 2010-02-03 10:00:00\nTITLE a\nBODDY\n.\n",
         "line 4: expected TITLE, ADULT or BODY"},
        {"twotitles.txt", head + "POST 2010-02-03 10:00:00\nTITLE a\nTITLE b\nBODY\n.\n",
         "line 4: the post has a second TITLE"},
        {"nobody.txt", head + "POST 2010-02-03 10:00:00\nTITLE a\n",
         "starts at line 2; the file is truncated"},
        {"truncated.txt", head + "POST 2010-02-03 10:00:00\nBODY\ntext\nmore",
         "line 5: the body of the post that starts at line 2 has no closing"},
        {"halfutf16.txt", utf16(QStringLiteral("DIARY-EXPORT 1\n"), true) + "x", "truncated"},
    };
    for (const auto& file : files) {
        auto r = reader();
        EXPECT_FALSE(r->LoadFile(writeTestFile(QString::fromLatin1(file.name), file.bytes)))
            << file.name;
        EXPECT_TRUE(r->LastError().contains(QString::fromUtf8(file.reason)))
            << file.name << ": " << r->LastError().toStdString();
        EXPECT_EQ(r->Posts()->Count(), 0);
    }
    auto r = reader();
    EXPECT_FALSE(r->LoadFile(testFolder() + QStringLiteral("/missing.txt")));
    EXPECT_EQ(r->LastError(), QStringLiteral("The file does not exist."));
    const QString locked = writeTestFile(QStringLiteral("locked.txt"), head);
    QFile::setPermissions(locked, {});
    if (!QFile(locked).open(QIODevice::ReadOnly)) { // root reads anything
        EXPECT_FALSE(r->LoadFile(locked));
        EXPECT_TRUE(r->LastError().startsWith(QStringLiteral("The file cannot be opened")));
    }
}

TEST(DiaryFileReader, AFailedLoadKeepsTheLastGoodPosts)
{
    auto r = reader();
    ASSERT_TRUE(r->LoadFile(writeTestFile(QStringLiteral("good.txt"), tricky.toUtf8())));
    EXPECT_FALSE(r->LoadFile(writeTestFile(QStringLiteral("bad.txt"), "nonsense")));
    EXPECT_EQ(r->Posts()->Count(), 2);
}
