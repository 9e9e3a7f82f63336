#include "platform/com/ClassRegistry.h"
#include "platform/text/AnsiCodePage.h"
#include "support/diary/DiaryFileReader.h"
#include "tests/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(DiaryFileReader, AStrayByteInUtf8IsRefusedWhereItStands)
{
    const QByteArray good = tricky.toUtf8();
    QByteArray stray = good;
    stray.insert(stray.indexOf("first line") + 5, '\xFF'); // line 6, column 6
    const struct
    {
        const char* name;
        QByteArray bytes;
    } files[] = {{"stray.txt", stray}, {"straybom.txt", "\xEF\xBB\xBF" + stray}};
    for (const auto& file : files) {
        auto r = reader();
        EXPECT_FALSE(r->LoadFile(writeTestFile(QString::fromLatin1(file.name), file.bytes)));
        EXPECT_EQ(r->LastError(), QStringLiteral("line 6: the file is UTF-8 text, but it holds a "
                                                 "byte that is not valid UTF-8 (hexadecimal ff, "
                                                 "column 6); the file may be damaged"))
            << file.name;
    }
    // A UTF-8 mark and nothing else that is UTF-8 still refuses: the mark says what
    // the file is.
    auto r = reader();
    EXPECT_FALSE(r->LoadFile(
        writeTestFile(QStringLiteral("bom1251.txt"), "\xEF\xBB\xBF" + toAnsi(tricky, 1251))));
    EXPECT_TRUE(r->LastError().startsWith(QStringLiteral("line 4: the file is UTF-8 text")));
}

TEST(DiaryFileReader, AsManyUtf8SequencesAsStrayBytesIsUtf8WithAnError)
{
    // "café" in the title is one valid two-byte sequence; each \xE9 in the body is a
    // stray byte. Only fewer sequences than stray bytes make a Windows-1251 file.
    const QByteArray head = "DIARY-EXPORT 1\nPOST 2010-01-01 10:00:00\nTITLE caf\xC3\xA9\nBODY\n";
    auto r = reader();
    EXPECT_FALSE(r->LoadFile(writeTestFile(QStringLiteral("tie.txt"), head + "x\xE9y\n.\n")));
    EXPECT_EQ(r->LastError(), QStringLiteral("line 5: the file is UTF-8 text, but it holds a "
                                             "byte that is not valid UTF-8 (hexadecimal e9, "
                                             "column 2); the file may be damaged"));

    ASSERT_TRUE(r->LoadFile(writeTestFile(QStringLiteral("fewer.txt"), head + "x\xE9y\xE9\n.\n")));
    EXPECT_EQ(r->Posts()->Item(0)->Title(), QStringLiteral("cafГ©"));
    EXPECT_EQ(r->Posts()->Item(0)->Body(), QStringLiteral("xйyй"));
}

TEST(DiaryFileReader, SaysWhatItFoundInsteadOfADiary)
{
    const QString diary = QStringLiteral("DIARY-EXPORT 1\nPOST 2010-01-01 10:00:00\nBODY\nx\n.\n");
    QByteArray utf16le, utf16be, utf32le, utf32be;
    for (const QChar c : diary) {
        const char lo = static_cast<char>(c.unicode() & 0xFF),
                   hi = static_cast<char>(c.unicode() >> 8);
        utf16le.append(lo).append(hi);
        utf16be.append(hi).append(lo);
        utf32le.append(lo).append(hi).append('\0').append('\0');
        utf32be.append('\0').append('\0').append(hi).append(lo);
    }
    const QString utf32 = QStringLiteral("the file is UTF-32 text");
    const QString noMark = QStringLiteral("UTF-16 text without a byte order mark");
    const struct
    {
        const char* name;
        QByteArray bytes;
        QString reason;
    } files[] = {
        {"utf16le-nobom.txt", utf16le, noMark},
        {"utf16be-nobom.txt", utf16be, noMark},
        {"utf32le.txt", QByteArray("\xFF\xFE\x00\x00", 4) + utf32le, utf32},
        {"utf32be.txt", QByteArray("\x00\x00\xFE\xFF", 4) + utf32be, utf32},
        {"utf32le-nobom.txt", utf32le, utf32},
        {"cr-only.txt", diary.toUtf8().replace('\n', '\r'),
         QStringLiteral("end in a carriage return alone")},
    };
    for (const auto& file : files) {
        auto r = reader();
        EXPECT_FALSE(r->LoadFile(writeTestFile(QString::fromLatin1(file.name), file.bytes)));
        EXPECT_TRUE(r->LastError().contains(file.reason))
            << file.name << ": " << r->LastError().toStdString();
    }
}

TEST(DiaryFileReader, OnlyRegularFilesOfASaneSizeAreRead)
{
    auto r = reader();
    EXPECT_FALSE(r->LoadFile(QStringLiteral("/dev/zero")));
    EXPECT_TRUE(r->LastError().startsWith(QStringLiteral("This is not a regular file")));

    // A pipe with no writer: opening it for reading would wait for ever.
    const QString fifo = testFolder() + QStringLiteral("/pipe.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(r->LoadFile(fifo));
    EXPECT_TRUE(r->LastError().startsWith(QStringLiteral("This is not a regular file")));

    // A sparse file far larger than any diary is refused before it is read.
    QFile huge(testFolder() + QStringLiteral("/huge.txt"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write("DIARY-EXPORT 1\n");
    ASSERT_TRUE(huge.resize(qint64(300) << 20));
    huge.close();
    EXPECT_FALSE(r->LoadFile(huge.fileName()));
    EXPECT_EQ(r->LastError(), QStringLiteral("The file is larger than 256 MB, far larger than "
                                             "any diary export; it cannot be loaded."));
    QFile::remove(huge.fileName());
}

// Memory runs out in a child process whose address space is limited: LoadFile must
// answer false with a reason rather than let std::bad_alloc escape.
TEST(DiaryFileReader, RunningOutOfMemoryIsAFailureWithAReason)
{
    QByteArray text = "DIARY-EXPORT 1\n";
    const QByteArray post = "POST 2010-01-01 10:00:00\nBODY\n" + QByteArray(1000, 'x') + "\n.\n";
    text.reserve(64 << 20);
    while (text.size() < (48 << 20))
        text += post;
    const QString path = writeTestFile(QStringLiteral("big.txt"), text);
    text.clear();
    text.squeeze();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        QFile statm(QStringLiteral("/proc/self/statm"));
        statm.open(QIODevice::ReadOnly);
        const long pages = statm.readAll().split(' ').first().toLong();
        const rlim_t limit = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (24 << 20);
        const rlimit cap{limit, limit};
        ::setrlimit(RLIMIT_AS, &cap);
        auto fresh = newDiaryFileReader();
        const bool loaded = fresh->LoadFile(path);
        ::_exit(!loaded && fresh->LastError().contains(QStringLiteral("not enough memory")) ? 0
                                                                                            : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    QFile::remove(path);
}
