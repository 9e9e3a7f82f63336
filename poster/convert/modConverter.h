#pragma once
// modConverter: the diary's bracket markup to the HTML that Brivet receives. Nine
// passes in a fixed order; each is linear in the length of its text (the link pass in
// the length of the text it makes, which LinkPassLimit bounds).
#include <QString>

// The source diary service's addresses (neutral example hosts, no trailing slash).
extern const QString DiaryAddress;
extern const QString DiaryImageAddress;

// The whole conversion; lineBreaks adds "<br />" before every CR LF. Raises error 6
// (source "modConverter") when nested link tags would make the text longer than
// LinkPassLimit of the text that the link pass receives, or when the text after the
// tags, the links, the code blocks or the user tags is longer than ConvertedTextLimit of
// the body; raises error 7 when memory runs out.
QString ConvertPostBody(const QString& body, bool ConvertLineBreaks);

// The longest converted text for a body of bodySize characters: 4 times the body and
// 4 MB, far above any real post (a post of nothing but "[J]" tags reaches it at about
// 17,000 of them), and it keeps the conversion's memory within about 8 times the body's.
qsizetype ConvertedTextLimit(qsizetype bodySize);

// Characters that this thread's conversions have looked at, compared or written, for
// tests of how the work grows with the body.
qint64 ConverterWork();

// The longest text the link pass may make of a text of textSize characters: far above
// any real post (16 times the text and 1 MB), far below what nested "[URL]" tags, each
// doubling the text, would need.
qsizetype LinkPassLimit(qsizetype textSize);

// The passes, in the order ConvertPostBody applies them.
QString ConvertSimpleTag(const QString& text, const QString& name);
QString ConvertTagPair(const QString& text, const QString& tag, const QString& opening,
                       const QString& closing);
QString ConvertUrlTags(const QString& text);
QString ExpandMoreTag(const QString& text);
QString ConvertCodeBlocks(const QString& text);
QString EscapeCodeText(const QString& text);
QString EscapeStrayAngleBrackets(const QString& text);
QString ConvertJournalTags(const QString& text);
QString ConvertLinkTags(const QString& text);
QString ConvertLineBreaksToHtml(const QString& text);
