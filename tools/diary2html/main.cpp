// diary2html: shows what Brivet poster would upload.
//   diary2html --body [--no-line-breaks]   one body from standard input to HTML
//   diary2html FILE                         every post of a diary export file
#include "platform/com/RuntimeError.h"
#include "platform/text/ControlCharacters.h"
#include "poster/convert/modConverter.h"
#include "poster/workflow/modPostListLine.h"
#include "support/diary/DiaryFileReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <new>

namespace {
void printUsage(FILE* stream)
{
    std::fputs("usage: diary2html --body [--no-line-breaks] < body.txt\n"
               "       diary2html [--no-line-breaks] FILE\n"
               "       diary2html --help\n",
               stream);
}

int usage()
{
    printUsage(stderr);
    return 2;
}

// A message line: it may quote the diary file, whose control characters are shown as
// escapes rather than obeyed by the terminal. The HTML on standard output stays exact.
void complain(const QString& text)
{
    std::fprintf(stderr, "diary2html: %s\n",
                 escapeControlCharacters(text, true).toLocal8Bit().constData());
}

void write(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

// Bodies arrive with CR LF line breaks; a body typed with LF alone gets them too.
QString withCrLf(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\n' && (i == 0 || text.at(i - 1) != u'\r'))
            out.append(u'\r');
        out.append(text.at(i));
    }
    return out;
}
} // namespace

int run(int argc, char* argv[]);

int main(int argc, char* argv[])
{
    try {
        return run(argc, argv);
    } catch (const RuntimeError& error) { // a post the converter refuses
        complain(error.description());
        return 2;
    } catch (const std::bad_alloc&) {
        std::fputs("diary2html: out of memory\n", stderr);
        return 2;
    }
}

int run(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        printUsage(stdout);
        return 0;
    }
    const bool lineBreaks = !arguments.removeAll(QStringLiteral("--no-line-breaks"));
    const bool bodyMode = arguments.removeAll(QStringLiteral("--body")) > 0;

    if (bodyMode) {
        if (!arguments.isEmpty())
            return usage();
        QFile input;
        if (!input.open(stdin, QIODevice::ReadOnly))
            return 2;
        write(ConvertPostBody(withCrLf(QString::fromUtf8(input.readAll())), lineBreaks));
        return 0;
    }
    if (arguments.size() != 1 || arguments.first().startsWith(QStringLiteral("--")))
        return usage();

    const ComPtr<IDiaryFileReader> reader = newDiaryFileReader();
    if (!reader->LoadFile(arguments.first())) {
        complain(arguments.first() + QStringLiteral(": ") + reader->LastError());
        return 2;
    }
    const ComPtr<IDiaryPostList> posts = reader->Posts();
    for (int i = 0; i < posts->Count(); ++i) {
        const ComPtr<IDiaryPost> post = posts->Item(i);
        QString html;
        try {
            html = ConvertPostBody(post->Body(), lineBreaks);
        } catch (const RuntimeError& error) { // a post the converter refuses
            complain(QStringLiteral("post %1 (%2): %3")
                         .arg(i + 1)
                         .arg(PostListLine(post.get()), error.description()));
            return 2;
        }
        write(PostListLine(post.get()) + QStringLiteral("\n") + html + QStringLiteral("\n\n"));
    }
    return 0;
}
