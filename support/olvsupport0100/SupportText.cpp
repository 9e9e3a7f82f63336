#include "support/olvsupport0100/olvsupport0100.h"

#include "platform/text/AnsiCodePage.h"

#include <QStringDecoder>
#include <algorithm>

namespace {
bool isSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\r' || u == u'\n' || u == u'\v' || u == u'\f' ||
           u == 0xA0;
}
} // namespace

int suUNICODEToUTF8(const QString& text, QString* result)
{
    if (!result)
        return -1;
    *result = QString::fromLatin1(text.toUtf8());
    return 0;
}

int suUTF8ToUNICODE(const QString& text, QString* result)
{
    if (!result)
        return -1;
    *result = QString::fromUtf8(text.toLatin1());
    return 0;
}

int suStrConvB(const QString& text, QByteArray* result)
{
    if (!result)
        return -1;
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        bytes[i] = static_cast<char>(text.at(i).unicode() & 0xFF);
    *result = bytes;
    return 0;
}

int suStrConvW(const QByteArray& bytes, QString* result)
{
    if (!result)
        return -1;
    *result = QString::fromLatin1(bytes);
    return 0;
}

int suGetStringFromPointerW(const char16_t* pointer, QString* result)
{
    if (!result || !pointer)
        return -1;
    *result = QString::fromUtf16(pointer);
    return 0;
}

int suGetStringFromPointerA(const char* pointer, QString* result)
{
    if (!result || !pointer)
        return -1;
    *result = fromAnsi(QByteArray(pointer));
    return 0;
}

int suTrimEx(const QString& text, QString* result)
{
    if (!result)
        return -1;
    qsizetype first = 0, last = text.size();
    while (first < last && isSpace(text.at(first)))
        ++first;
    while (last > first && isSpace(text.at(last - 1)))
        --last;
    *result = text.mid(first, last - first);
    return 0;
}

int suTrimEx2(const QString& text, bool spaces, bool tabs, bool returns, bool feeds, bool nulls,
              bool, bool, bool, bool, bool, QString* result)
{
    if (!result)
        return -1;
    const auto trimmed = [&](QChar c) {
        const char16_t u = c.unicode();
        return (spaces && (u == u' ' || u == 0xA0)) || (tabs && (u == u'\t' || u == u'\v')) ||
               (returns && u == u'\r') || (feeds && (u == u'\n' || u == u'\f')) ||
               (nulls && u == 0);
    };
    qsizetype first = 0, last = text.size();
    while (first < last && trimmed(text.at(first)))
        ++first;
    while (last > first && trimmed(text.at(last - 1)))
        --last;
    *result = text.mid(first, last - first);
    return 0;
}

int suTrimCRLF(const QString& text, QString* result)
{
    if (!result)
        return -1;
    qsizetype last = text.size();
    while (last > 0 && (text.at(last - 1) == u'\r' || text.at(last - 1) == u'\n'))
        --last;
    *result = text.left(last);
    return 0;
}

int suCutRight(const QString& text, int count, QString* result)
{
    if (!result || count < 0)
        return -1;
    *result = count >= text.size() ? QString() : text.left(text.size() - count);
    return 0;
}

int suFormatTimeInterval(double milliseconds, QString* result)
{
    if (!result || !(milliseconds >= 0))
        return -1;
    // Clamped far beyond any wait: a huge or infinite value must not wrap round into a
    // negative count.
    constexpr double MaxSeconds = 999999.0 * 3600 + 59 * 60 + 59;
    const auto seconds = static_cast<long long>(std::min(milliseconds / 1000.0, MaxSeconds));
    const long long hours = seconds / 3600;
    const long long minutes = seconds / 60 % 60;
    const long long rest = seconds % 60;
    const auto two = [](long long n) {
        return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    };
    if (hours > 0)
        *result = QStringLiteral(" %1 hr %2 min %3 sec ").arg(hours).arg(two(minutes), two(rest));
    else if (minutes > 0)
        *result = QStringLiteral(" %1 min %2 sec ").arg(minutes).arg(two(rest));
    else
        *result = QStringLiteral(" %1 sec ").arg(rest);
    return 0;
}
