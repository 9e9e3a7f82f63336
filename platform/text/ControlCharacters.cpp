#include "platform/text/ControlCharacters.h"

namespace {
bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}
} // namespace

QString escapeControlCharacters(const QString& text, bool keepLineFeeds)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        const char16_t c = ch.unicode();
        if (!isControl(c) || c == u'\t' || (c == u'\n' && keepLineFeeds)) {
            out.append(ch);
        } else if (c == u'\r' && keepLineFeeds && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            continue; // a CR LF line end is a line end
        } else if (c == u'\r') {
            out.append(QLatin1String("\\r"));
        } else if (c == u'\n') {
            out.append(QLatin1String("\\n"));
        } else {
            const int digits = c < 0x100 ? 2 : 4;
            out.append(QLatin1String(c < 0x100 ? "\\x" : "\\u"));
            out.append(
                QString::number(uint(c), 16).toUpper().rightJustified(digits, QLatin1Char('0')));
        }
    }
    return out;
}
