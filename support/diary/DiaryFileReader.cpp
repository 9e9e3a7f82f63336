#include "support/diary/DiaryFileReader.h"

#include "platform/com/ClassRegistry.h"
#include "platform/text/AnsiCodePage.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace {
constexpr QByteArrayView Magic = "DIARY-EXPORT";
constexpr int FormatVersion = 1;

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

// Everything is parsed as UTF-8: UTF-16 files (with a byte order mark) and
// Windows-1251 files (bytes that are not valid UTF-8) are converted first.
bool toUtf8(QByteArray& raw, QString* error)
{
    const auto starts = [&](QByteArrayView mark) { return raw.startsWith(mark); };
    if (starts("\xEF\xBB\xBF")) {
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
        *error = QStringLiteral("the file holds binary data, not a diary export");
        return false;
    }
    if (!isValidUtf8(raw))
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
        if (!next(&line) || !line.startsWith(Magic)) {
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
        if (!read(path, &posts, &error)) {
            m_lastError = error;
            return false;
        }
        m_lastError.clear();
        m_posts = newDiaryPostList(std::move(posts));
        return true;
    }

private:
    static bool read(const QString& path, QList<ComPtr<IDiaryPost>>* posts, QString* error)
    {
        const QFileInfo info(path);
        if (!info.exists()) {
            *error = QStringLiteral("The file does not exist.");
            return false;
        }
        if (info.isDir()) {
            *error = QStringLiteral("This is a folder, not a file.");
            return false;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("The file cannot be opened: %1.").arg(file.errorString());
            return false;
        }
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            *error = QStringLiteral("The file cannot be read: %1.").arg(file.errorString());
            return false;
        }
        file.close();
        if (bytes.isEmpty()) {
            *error = QStringLiteral("The file is empty.");
            return false;
        }
        QString problem;
        if (!toUtf8(bytes, &problem) ||
            !Parser(bytes, info.absoluteFilePath()).run(posts, &problem)) {
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
