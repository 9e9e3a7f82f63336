#include "support/diary/DiaryFileReader.h"

#include "platform/com/ClassRegistry.h"
#include "platform/text/AnsiCodePage.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr QByteArrayView Magic = "DIARY-EXPORT";
constexpr int FormatVersion = 1;
// Far above any real diary (100,000 long posts take about 110 MB), and low enough that
// reading it stays within a desktop's memory.
constexpr qint64 MaxFileSize = qint64(256) << 20;

bool isValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* end = p + bytes.size();
    while (p < end) {
        if (end - p >= 8) {
            std::uint64_t block;
            std::memcpy(&block, p, 8);
            if ((block & 0x8080808080808080ull) == 0) {
                p += 8;
                continue;
            }
        }
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int length;
        std::uint32_t code;
        if ((*p & 0xE0) == 0xC0) {
            length = 2;
            code = *p & 0x1F;
        } else if ((*p & 0xF0) == 0xE0) {
            length = 3;
            code = *p & 0x0F;
        } else if ((*p & 0xF8) == 0xF0) {
            length = 4;
            code = *p & 0x07;
        } else {
            return false;
        }
        if (end - p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            code = code << 6 | (p[i] & 0x3F);
        }
        if ((length == 2 && code < 0x80) ||
            (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        p += length;
    }
    return true;
}

struct Utf8Census
{
    qsizetype sequences = 0; // valid sequences of two to four bytes
    qsizetype invalid = 0;   // bytes that begin no valid sequence
    qsizetype firstInvalid = -1;
};

// Counts what a text that failed isValidUtf8 holds: many valid sequences and a stray
// invalid byte make a damaged UTF-8 file, few or none a single-byte one.
Utf8Census censusUtf8(const QByteArray& bytes)
{
    Utf8Census census;
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* end = begin + bytes.size();
    for (const auto* p = begin; p < end;) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const int length = (*p & 0xE0) == 0xC0   ? 2
                           : (*p & 0xF0) == 0xE0 ? 3
                           : (*p & 0xF8) == 0xF0 ? 4
                                                 : 0;
        if (length > 0 && end - p >= length &&
            isValidUtf8(QByteArray::fromRawData(reinterpret_cast<const char*>(p), length))) {
            ++census.sequences;
            p += length;
            continue;
        }
        if (census.firstInvalid < 0)
            census.firstInvalid = p - begin;
        ++census.invalid;
        ++p;
    }
    return census;
}

// What a file with NUL bytes and no byte order mark most likely is: UTF-32 or UTF-16
// text saved without the mark, or binary data.
QString describeNulBytes(const QByteArray& raw)
{
    const qsizetype n = std::min<qsizetype>(raw.size(), 65536) & ~qsizetype(3);
    qsizetype zeros[4] = {};
    for (qsizetype i = 0; i < n; ++i)
        if (raw[i] == 0)
            ++zeros[i % 4];
    const qsizetype groups = n / 4;
    const auto most = [&](qsizetype count) { return groups > 0 && count * 10 >= groups * 9; };
    const auto none = [&](qsizetype count) { return count * 20 <= groups; };
    if ((most(zeros[2]) && most(zeros[3]) && none(zeros[0])) ||
        (most(zeros[0]) && most(zeros[1]) && none(zeros[3])))
        return QStringLiteral("the file is UTF-32 text, which cannot be read; save it as UTF-8");
    const qsizetype even = zeros[0] + zeros[2], odd = zeros[1] + zeros[3];
    // A quarter of the high bytes or more are zero, and next to none of the low ones.
    const auto utf16 = [&](qsizetype high, qsizetype low) {
        return groups >= 4 && high * 2 >= groups && low * 20 <= high;
    };
    if (utf16(odd, even) || utf16(even, odd))
        return QStringLiteral("the file seems to be UTF-16 text without a byte order mark; save "
                              "it as UTF-8, or as UTF-16 with a byte order mark");
    return QStringLiteral("the file holds binary data, not a diary export");
}

// Everything is parsed as UTF-8: UTF-16 files (with a byte order mark) and
// Windows-1251 files (single-byte text that is not UTF-8) are converted first.
bool toUtf8(QByteArray& raw, QString* error)
{
    const auto starts = [&](QByteArrayView mark) { return raw.startsWith(mark); };
    const bool utf8Mark = starts("\xEF\xBB\xBF");
    if (starts(QByteArrayView("\xFF\xFE\x00\x00", 4)) ||
        starts(QByteArrayView("\x00\x00\xFE\xFF", 4))) {
        *error = QStringLiteral("the file is UTF-32 text, which cannot be read; save it as UTF-8");
        return false;
    }
    if (utf8Mark) {
        raw.remove(0, 3);
    } else if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
        const bool little = raw.at(0) == '\xFF';
        if (raw.size() % 2 != 0) {
            *error =
                QStringLiteral("the UTF-16 text ends in half a character; the file is truncated");
            return false;
        }
        const qsizetype units = (raw.size() - 2) / 2;
        QString text(units, Qt::Uninitialized);
        const auto* bytes = reinterpret_cast<const unsigned char*>(raw.constData()) + 2;
        for (qsizetype i = 0; i < units; ++i) {
            const char16_t hi = bytes[2 * i + (little ? 1 : 0)];
            const char16_t lo = bytes[2 * i + (little ? 0 : 1)];
            text[i] = QChar(static_cast<char16_t>(hi << 8 | lo));
        }
        raw = QByteArray();
        if (text.contains(QChar(0))) {
            *error = QStringLiteral("the file holds binary data, not a diary export");
            return false;
        }
        raw = text.toUtf8();
        return true;
    }
    if (std::memchr(raw.constData(), 0, static_cast<size_t>(raw.size()))) {
        *error = describeNulBytes(raw);
        return false;
    }
    if (isValidUtf8(raw))
        return true;
    // A stray byte in a UTF-8 file must not turn every Cyrillic letter into two wrong
    // ones: only text that is plainly not UTF-8 is read as Windows-1251.
    const Utf8Census census = censusUtf8(raw);
    if (utf8Mark || census.sequences >= census.invalid) {
        const QByteArrayView before(raw.constData(), census.firstInvalid);
        const qsizetype lineStart = before.lastIndexOf('\n') + 1;
        *error =
            QStringLiteral("line %1: the file is UTF-8 text, but it holds a byte that is "
                           "not valid UTF-8 (hexadecimal %2, column %3); the file may be "
                           "damaged")
                .arg(before.count('\n') + 1)
                .arg(static_cast<unsigned char>(raw[census.firstInvalid]), 2, 16, QLatin1Char('0'))
                .arg(census.firstInvalid - lineStart + 1);
        return false;
    }
    raw = fromAnsi(raw, 1251).toUtf8();
    return true;
}

// "yyyy-mm-dd hh:mm:ss"
bool parseDateTime(QByteArrayView text, QDateTime* result)
{
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':')
        return false;
    const auto number = [&](int first, int count, int* value) {
        *value = 0;
        for (int i = first; i < first + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            *value = *value * 10 + (text[i] - '0');
        }
        return true;
    };
    int y, mo, d, h, mi, s;
    if (!number(0, 4, &y) || !number(5, 2, &mo) || !number(8, 2, &d) || !number(11, 2, &h) ||
        !number(14, 2, &mi) || !number(17, 2, &s))
        return false;
    const QDate date(y, mo, d);
    const QTime time(h, mi, s);
    if (y < 100 || !date.isValid() || !time.isValid())
        return false;
    *result = QDateTime(date, time, Qt::UTC);
    return true;
}

QString quoted(QByteArrayView line)
{
    QString text = QString::fromUtf8(line.first(qMin<qsizetype>(40, line.size())));
    if (line.size() > 40)
        text += QStringLiteral("...");
    return QLatin1Char('"') + text + QLatin1Char('"');
}

class Parser
{
public:
    Parser(const QByteArray& utf8, const QString& sourceFile) : m_data(utf8), m_file(sourceFile) {}

    bool run(QList<ComPtr<IDiaryPost>>* posts, QString* error)
    {
        QByteArrayView line;
        if (next(&line) && line.contains('\r')) {
            *error = QStringLiteral("the lines of this file end in a carriage return alone (as "
                                    "on old Macintosh systems); save it with LF or CR LF line "
                                    "ends");
            return false;
        }
        if (line.isNull() || !line.startsWith(Magic)) {
            *error = QStringLiteral("this is not a diary export file (line 1 must read \"%1 %2\")")
                         .arg(QString::fromLatin1(Magic.toByteArray()))
                         .arg(FormatVersion);
            return false;
        }
        if (line.trimmed() != QByteArray(Magic.toByteArray() + " 1"))
            return fail(error, QStringLiteral("unsupported format %1").arg(quoted(line)));

        while (next(&line)) {
            if (line.trimmed().isEmpty() || line.startsWith('#'))
                continue;
            if (!line.startsWith("POST "))
                return fail(error,
                            QStringLiteral("expected a POST line, found %1").arg(quoted(line)));
            DiaryPostData post;
            post.index = static_cast<int>(posts->size()) + 1;
            post.sourceLine = m_line;
            if (!parseDateTime(line.sliced(5).trimmed(), &post.postDate))
                return fail(error, QStringLiteral("the date and time %1 are not valid "
                                                  "(expected yyyy-mm-dd hh:mm:ss)")
                                       .arg(quoted(line.sliced(5))));
            if (!readHeaders(&post, error) || !readBody(&post, error))
                return false;
            posts->append(newDiaryPost(std::move(post), m_file));
        }
        return true;
    }

private:
    bool next(QByteArrayView* line)
    {
        if (m_pos >= m_data.size())
            return false;
        const char* begin = m_data.constData() + m_pos;
        const void* newline = std::memchr(begin, '\n', static_cast<size_t>(m_data.size() - m_pos));
        const qsizetype length =
            newline ? static_cast<const char*>(newline) - begin : m_data.size() - m_pos;
        m_pos += length + 1;
        ++m_line;
        *line = QByteArrayView(begin, length);
        if (line->endsWith('\r'))
            line->chop(1);
        return true;
    }

    bool fail(QString* error, const QString& what) const
    {
        *error = QStringLiteral("line %1: %2").arg(m_line).arg(what);
        return false;
    }

    bool readHeaders(DiaryPostData* post, QString* error)
    {
        const int start = m_line;
        bool titled = false;
        QByteArrayView line;
        while (next(&line)) {
            if (line == "BODY")
                return true;
            if (line == "TITLE" || line.startsWith("TITLE ")) {
                if (titled)
                    return fail(error, QStringLiteral("the post has a second TITLE line"));
                titled = true;
                post->title = QString::fromUtf8(line.sliced(qMin<qsizetype>(6, line.size())));
            } else if (line == "ADULT") {
                post->adultOnly = true;
            } else {
                return fail(
                    error,
                    QStringLiteral("expected TITLE, ADULT or BODY, found %1").arg(quoted(line)));
            }
        }
        return fail(error, QStringLiteral("the file ends before the BODY line of the post that "
                                          "starts at line %1; the file is truncated")
                               .arg(start));
    }

    bool readBody(DiaryPostData* post, QString* error)
    {
        QByteArrayView line;
        m_body.resize(0);
        bool first = true;
        while (next(&line)) {
            if (line == ".") {
                post->body = QString::fromUtf8(m_body);
                return true;
            }
            if (!first)
                m_body.append("\r\n");
            first = false;
            if (line.startsWith('.'))
                line = line.sliced(1); // a body line that begins with a dot is written with two
            m_body.append(line);
        }
        return fail(error, QStringLiteral("the body of the post that starts at line %1 has no "
                                          "closing \".\" line; the file is truncated")
                               .arg(post->sourceLine));
    }

    const QByteArray& m_data;
    QByteArray m_body; // reused for every post
    QString m_file;
    qsizetype m_pos = 0;
    int m_line = 0;
};

class DiaryFileReader : public ComObject<IDiaryFileReader>
{
public:
    QString LastError() const override { return m_lastError; }
    ComPtr<IDiaryPostList> Posts() const override { return m_posts; }

    bool LoadFile(const QString& path) override
    {
        QList<ComPtr<IDiaryPost>> posts;
        QString error;
        bool ok = false;
        try {
            ok = read(path, &posts, &error);
        } catch (const std::bad_alloc&) {
            posts.clear();
            error = QStringLiteral("There is not enough memory to read the file.");
        }
        if (!ok) {
            m_lastError = error;
            return false;
        }
        m_lastError.clear();
        m_posts = newDiaryPostList(std::move(posts));
        return true;
    }

private:
    static QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

    // Only regular files are read: a device or a pipe could hang the program or never
    // end. The size is checked before and while reading, as a file may grow.
    static bool readBytes(const QString& path, QByteArray* bytes, QString* error)
    {
        const QByteArray name = QFile::encodeName(path);
        struct stat info = {};
        if (::stat(name.constData(), &info) != 0) {
            *error = errno == ENOENT
                         ? QStringLiteral("The file does not exist.")
                         : QStringLiteral("The file cannot be opened: %1.").arg(systemError(errno));
            return false;
        }
        if (S_ISDIR(info.st_mode)) {
            *error = QStringLiteral("This is a folder, not a file.");
            return false;
        }
        const auto tooLarge = [&] {
            *error = QStringLiteral("The file is larger than %1 MB, far larger than any diary "
                                    "export; it cannot be loaded.")
                         .arg(MaxFileSize >> 20);
            return false;
        };
        const auto notAFile = [&] {
            *error = QStringLiteral("This is not a regular file (it is a device, a pipe or a "
                                    "socket); only files can be loaded.");
            return false;
        };
        if (!S_ISREG(info.st_mode))
            return notAFile();
        if (info.st_size > MaxFileSize)
            return tooLarge();
        // O_NONBLOCK: should a pipe take the file's place meanwhile, open does not wait.
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            *error = QStringLiteral("The file cannot be opened: %1.").arg(systemError(errno));
            return false;
        }
        struct Closer
        {
            int fd;
            ~Closer() { ::close(fd); }
        } closer{fd};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
            return notAFile();
        bytes->resize(std::min<qint64>(info.st_size, MaxFileSize) + 1);
        qsizetype done = 0;
        while (true) {
            if (done == bytes->size()) {
                if (done > MaxFileSize)
                    return tooLarge();
                bytes->resize(std::min<qint64>(2 * done, MaxFileSize + 1));
            }
            const ssize_t n =
                ::read(fd, bytes->data() + done, static_cast<size_t>(bytes->size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                *error = QStringLiteral("The file cannot be read: %1.").arg(systemError(errno));
                return false;
            }
            if (n == 0)
                break;
            done += n;
        }
        bytes->truncate(done);
        return true;
    }

    static bool read(const QString& path, QList<ComPtr<IDiaryPost>>* posts, QString* error)
    {
        QByteArray bytes;
        if (!readBytes(path, &bytes, error))
            return false;
        if (bytes.isEmpty()) {
            *error = QStringLiteral("The file is empty.");
            return false;
        }
        QString problem;
        if (!toUtf8(bytes, &problem) ||
            !Parser(bytes, QFileInfo(path).absoluteFilePath()).run(posts, &problem)) {
            *error = problem;
            return false;
        }
        return true;
    }

    QString m_lastError;
    ComPtr<IDiaryPostList> m_posts = newDiaryPostList({});
};

HRESULT createReader(const GUID& iid, void** object)
{
    return newDiaryFileReader()->QueryInterface(iid, object);
}
} // namespace

void registerDiaryFileReaderClass()
{
    registerLocalClass(CLSID_DiaryFileReader, createReader);
}

ComPtr<IDiaryFileReader> newDiaryFileReader()
{
    return ComPtr<IDiaryFileReader>::adopt(new DiaryFileReader);
}
