// The service client's pieces that need no server: escaping, the templates, the
// session reply, the nonce and the service address.
#include "platform/ui/MsgBox.h"
#include "poster/service/modPostSender.h"
#include "poster/service/modServiceAddress.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "tests/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {
QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// What a strict JSON reader makes of the escaped text inside a string literal.
QString readBack(const QString& escaped)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
        (QStringLiteral("{\"s\":\"") + escaped + QStringLiteral("\"}")).toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << escaped.toStdString();
    return document.object().value(QStringLiteral("s")).toString();
}
} // namespace

TEST(JsonEscape, EscapesWhatJsonRequiresAndNothingElse)
{
    struct Case
    {
        QString text, escaped, readBack;
    };
    const QList<Case> cases = {
        {u("a\"b\\c"), u("a\\\"b\\\\c"), u("a\"b\\c")},
        // Every line break is sent as \n.
        {u("1\r\n2\r3\n4"), u("1\\n2\\n3\\n4"), u("1\n2\n3\n4")},
        {u("\r\r\n"), u("\\n\\n"), u("\n\n")},
        // Backslashes are doubled before any escape is added.
        {u("\\n"), u("\\\\n"), u("\\n")},
        {u("tab\there"), u("tab\\there"), u("tab\there")},
        {u("\b\f"), u("\\b\\f"), u("\b\f")},
        {QString(QChar(0)) + u("\x01\x1f"), u("\\u0000\\u0001\\u001f"),
         QString(QChar(0)) + u("\x01\x1f")},
        // Slash, DEL, non-ASCII letters and emoji pass unchanged.
        {u("</p> \x7f Привет 😀"), u("</p> \x7f Привет 😀"), u("</p> \x7f Привет 😀")},
        {QString(), QString(), QString()},
        // An unpaired surrogate has no UTF-8 form; a pair stays.
        {QString(QChar(0xDC00)) + u("a") + QString(QChar(0xD83D)), u("\uFFFDa\uFFFD"),
         u("\uFFFDa\uFFFD")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JsonEscape(c.text), c.escaped) << c.text.toStdString();
        EXPECT_EQ(readBack(JsonEscape(c.text)), c.readBack) << c.text.toStdString();
    }
}

TEST(Templates, StringTableHoldsBothBodies)
{
    EXPECT_EQ(LogonBodyTemplate(),
              u("{\"data\":{\"type\":\"sessions\",\"attributes\":{\"password\":\"%PASSWORD%\","
                "\"email\":\"%EMAIL%\",\"action\":\"login\"}}}"));
    EXPECT_EQ(EntryBodyTemplate(),
              u("{\"data\":{\"type\":\"entries\",\"attributes\":{\"content\":\"%POST_BODY%\","
                "\"title\":\"%POST_TITLE%\",\"state\":\"published\",\"tags\":[],\"settings\":{"
                "\"permissions\":{\"access\":[%ACCESS_TYPE%],\"comments\":[%COMMENTS_TYPE%]}%"
                "COMMON_FEED%}},\"relationships\":{\"profile\":{\"data\":{\"type\":\"profiles\","
                "\"id\":\"%PROFILE_ID%\"}}}},\"included\":[{\"type\":\"profiles\",\"id\":\"%"
                "PROFILE_ID%\",\"attributes\":{}}]}"));
}

TEST(Templates, EntryBodyForAdultAndOtherPosts)
{
    const QString adult =
        EntryRequestBody(u("<b>x</b><br />\r\ny"), u("Say \"hi\""), true, u("4711"));
    EXPECT_TRUE(adult.contains(
        u("\"access\":[{\"type\":\"registered\"}],\"comments\":[]},\"feed\":false}")));
    EXPECT_TRUE(adult.contains(u("\"content\":\"<b>x</b><br />\\ny\"")));
    EXPECT_TRUE(adult.contains(u("\"title\":\"Say \\\"hi\\\"\"")));
    EXPECT_EQ(adult.count(u("\"id\":\"4711\"")), 2);

    const QString other = EntryRequestBody(u("body"), QString(), false, u("4711"));
    EXPECT_TRUE(other.contains(u("\"access\":[],\"comments\":[]}}")));
    EXPECT_TRUE(other.contains(u("\"title\":\"\"")));

    const QJsonObject json = QJsonDocument::fromJson(adult.toUtf8()).object();
    const QJsonObject attributes = json[u("data")].toObject()[u("attributes")].toObject();
    EXPECT_EQ(attributes[u("settings")].toObject()[u("feed")], QJsonValue(false));
    EXPECT_EQ(attributes[u("state")].toString(), u("published"));
}

TEST(Templates, PlaceholdersInsideTheUsersTextStayAsWritten)
{
    const QString text = u("%ACCESS_TYPE% %PROFILE_ID% %COMMON_FEED% %POST_TITLE% 100%");
    const QString body = EntryRequestBody(text, text, true, u("7"));
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(body.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << body.toStdString();
    const QJsonObject attributes = json[u("data")].toObject()[u("attributes")].toObject();
    EXPECT_EQ(attributes[u("content")].toString(), text);
    EXPECT_EQ(attributes[u("title")].toString(), text);
}

// The request's bytes are made straight from the UTF-16 texts; they must be exactly the
// filled template's UTF-8, as the support library's two conversions give it.
TEST(Templates, EntryBytesAreTheFilledTemplatesUtf8)
{
    const QString texts[] = {
        QString(),
        u("plain ascii"),
        u("quote \" backslash \\ slash / tab\t bell\a formfeed\f backspace\b"),
        u("CR LF\r\nlone CR\rlone LF\n\x01\x1f\x7f"),
        u("Русский текст, é, €, 😀 and 𝄞"),
        QString(QChar(0xD83D)) + u("lone high, then lone low") + QChar(0xDE00),
        u("ends in a high surrogate ") + QChar(0xD800),
        u("%POST_BODY% %PROFILE_ID% 100% %COMMON_FEED%"),
    };
    for (const QString& text : texts) {
        for (const bool adult : {false, true}) {
            const QString filled = EntryRequestBody(text, text, adult, u("4711"));
            QString utf8;
            ASSERT_EQ(suUNICODEToUTF8(filled, &utf8), 0);
            QByteArray expected;
            ASSERT_EQ(suStrConvB(utf8, &expected), 0);
            EXPECT_EQ(EntryRequestBytes(text, text, adult, u("4711")), expected)
                << text.toStdString();
        }
    }
}

class SessionReply : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AccessToken = u("old");
        ProfileId = u("1");
    }
    MsgBoxScript boxes;
};

TEST_F(SessionReply, TakesTheFirstTokenAndProfile)
{
    const QByteArray reply =
        R"({"data":{"type":"sessions","attributes":{"Access-Token":"tok.\u00e9n-1"},)"
        R"("relationships":{"profile":4711}},"meta":{"access-token":"second","profile":99}})";
    EXPECT_TRUE(ParseSessionResponse(reply));
    EXPECT_EQ(AccessToken, u("tok.\\u00e9n-1")); // no JSON unescaping
    EXPECT_EQ(ProfileId, u("4711"));
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(SessionReply, FailuresEmptyTheSessionAndSayWhy)
{
    const QList<QByteArray> replies = {
        R"({"access-token":"abc","profile":"123"})", // profile in quotes
        R"({"access-token":"abc","profile": 123})",  // space after the colon
        R"({"profile":123})",                        // no token
        R"({"access-token":"","profile":123})",      // an empty token
        "",
        // Not UTF-8: a Latin-1 byte inside the token.
        "{\"access-token\":\"ab\xe9\",\"profile\":5}",
        // A truncated sequence.
        "{\"access-token\":\"ab\",\"profile\":5}\xd0",
    };
    for (const QByteArray& reply : replies) {
        AccessToken = u("old");
        ProfileId = u("1");
        boxes.clear();
        EXPECT_FALSE(ParseSessionResponse(reply)) << reply.constData();
        EXPECT_TRUE(AccessToken.isEmpty());
        EXPECT_TRUE(ProfileId.isEmpty());
        ASSERT_EQ(boxes.shown().size(), 1);
        EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(
            u("Can't log on Brivet: error parsing server response.")));
        EXPECT_EQ(boxes.shown()[0].style, vbCritical);
    }
}

TEST(MakeNonce, ThirteenDigitsNeverLeadingZeroAndFresh)
{
    static const QRegularExpression form(u("^[1-9][0-9]{5}[1-9][0-9]{6}$"));
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        const QString nonce = MakeNonce();
        EXPECT_TRUE(form.match(nonce).hasMatch()) << nonce.toStdString();
        seen.insert(nonce);
    }
    EXPECT_GT(seen.size(), 195);
}

TEST(ServiceAddress, AcceptsHostsAndRefusesEverythingElse)
{
    const QString original = ServiceBaseAddress();
    EXPECT_TRUE(original.startsWith(u("https://")));
    EXPECT_FALSE(original.endsWith(u("/")));
    EXPECT_EQ(EntryEditorAddress(), original + u("/blog/diary/0/edit"));

    QString error;
    for (const QString& good : {u("http://127.0.0.1:8080"), u("https://staging.brivet.example"),
                                u("HTTPS://[::1]:443")}) {
        EXPECT_TRUE(SetServiceBaseAddress(good, &error)) << good.toStdString();
        EXPECT_EQ(ServiceBaseAddress().compare(good, Qt::CaseInsensitive), 0);
    }
    EXPECT_EQ(ServiceBaseAddress(), u("https://[::1]:443"));
    const QString kept = ServiceBaseAddress();
    for (const QString& bad :
         {u("http://127.0.0.1:8080/"), u("ftp://host"), u("https://host/path"), u("host"),
          u("https://host?x=1"), u("https://user@host"), u("https://host:99999"),
          u("https://ho st"), u("https://host\r\nX-Evil: 1"), QString()}) {
        error.clear();
        EXPECT_FALSE(SetServiceBaseAddress(bad, &error)) << bad.toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(ServiceBaseAddress(), kept);
    }
    EXPECT_TRUE(error.contains(u("http")));
    ASSERT_TRUE(SetServiceBaseAddress(original, &error));
}
