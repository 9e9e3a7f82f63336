#pragma once
// modConverter: the diary's bracket markup to the HTML that Brivet receives. Nine
// passes in a fixed order; each is linear in the length of its text.
#include <QString>

// The source diary service's addresses (neutral example hosts, no trailing slash).
extern const QString DiaryAddress;
extern const QString DiaryImageAddress;

// The whole conversion; lineBreaks adds "<br />" before every CR LF.
QString ConvertPostBody(const QString& body, bool ConvertLineBreaks);

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
