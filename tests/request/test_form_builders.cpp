// The form body builders: exact bodies where the format is fixed, and bodies read back
// by Python's own parsers, offline and by a server that received them through wget.
#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"
#include "platform/com/ErrorInfo.h"
#include "platform/text/AnsiCodePage.h"
#include "request/forms/modByteBuffers.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "tests/request/RequestFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>

namespace {
ComPtr<_HTTPFormBuilder> newFormBuilder()
{
    useComponentBesideTests();
    return createObject<_HTTPFormBuilder>(CLSID_HTTPFormBuilder);
}

ComPtr<_HTTPFormBuilderUE> newFormBuilderUE()
{
    useComponentBesideTests();
    return createObject<_HTTPFormBuilderUE>(CLSID_HTTPFormBuilderUE);
}

template <typename Builder> QString textOf(Builder* builder)
{
    QString text;
    EXPECT_EQ(builder->get_FormDataStr(&text), S_OK);
    return text;
}

template <typename Builder> QByteArray bytesOf(Builder* builder)
{
    QByteArray bytes;
    EXPECT_EQ(builder->get_FormData(&bytes), S_OK);
    return bytes;
}

QString boundOf(_HTTPFormBuilder* builder)
{
    QString bound;
    builder->get_Bound(&bound);
    return bound;
}

template <typename Builder> QString contentTypeOf(Builder* builder)
{
    QString header;
    builder->get_Header(&header);
    return header.mid(header.indexOf(QLatin1Char(':')) + 2);
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    return bytes;
}

QString utf8(const QString& text)
{
    QString bytes;
    suUNICODEToUTF8(text, &bytes);
    return bytes;
}

QByteArray hex(const QJsonValue& value)
{
    return QByteArray::fromHex(value.toString().toLatin1());
}

// Python's parts of a multipart body, or its name/value pairs of a URL-encoded one.
QJsonArray partsOf(const QJsonObject& parsed)
{
    EXPECT_TRUE(parsed.value(QStringLiteral("defects")).toArray().isEmpty());
    return parsed.value(QStringLiteral("parts")).toArray();
}

QList<QPair<QByteArray, QByteArray>> pairsOf(const QJsonObject& parsed)
{
    QList<QPair<QByteArray, QByteArray>> pairs;
    for (const QJsonValue& pair : parsed.value(QStringLiteral("pairs")).toArray())
        pairs.append({hex(pair.toArray().at(0)), hex(pair.toArray().at(1))});
    return pairs;
}

QString field(const QJsonValue& part, const char* name)
{
    return part.toObject().value(QLatin1String(name)).toString();
}

// A multipart body with every kind of element, and what a parser must read from it.
struct SampleForm
{
    QByteArray binary = allByteValues() + allByteValues();
    QString cyrillic = QStringLiteral("Привет, мир\r\n.");

    void fill(_HTTPFormBuilder* form) const
    {
        EXPECT_EQ(form->AddElementStr(QStringLiteral("title"), QStringLiteral("Hi")), S_OK);
        EXPECT_EQ(form->AddElementStr(QStringLiteral("body"), utf8(cyrillic), teText,
                                      QStringLiteral("text/plain"), QStringLiteral("utf-8")),
                  S_OK);
        EXPECT_EQ(form->AddBinaryElement(QStringLiteral("file"), QStringLiteral("all bytes.bin"),
                                         QStringLiteral("application/octet-stream"), binary),
                  S_OK);
        EXPECT_EQ(form->AddElement(QStringLiteral("encoded"), binary.toBase64(), teBase64,
                                   QStringLiteral("application/octet-stream")),
                  S_OK);
        EXPECT_EQ(form->AddTextElement(QStringLiteral("empty"), QByteArray()), S_OK);
    }

    void check(const QJsonArray& parts) const
    {
        ASSERT_EQ(parts.size(), 5);
        EXPECT_EQ(field(parts[0], "name"), QStringLiteral("title"));
        EXPECT_EQ(hex(parts[0].toObject().value(QStringLiteral("data"))), QByteArray("Hi"));
        EXPECT_EQ(field(parts[0], "type"), QStringLiteral("text/plain"));
        EXPECT_EQ(field(parts[1], "charset"), QStringLiteral("utf-8"));
        EXPECT_EQ(QString::fromUtf8(hex(parts[1].toObject().value(QStringLiteral("data")))),
                  cyrillic);
        EXPECT_EQ(field(parts[2], "name"), QStringLiteral("file"));
        EXPECT_EQ(field(parts[2], "filename"), QStringLiteral("all bytes.bin"));
        EXPECT_EQ(field(parts[2], "type"), QStringLiteral("application/octet-stream"));
        EXPECT_EQ(field(parts[2], "encoding"), QStringLiteral("binary"));
        EXPECT_EQ(hex(parts[2].toObject().value(QStringLiteral("data"))), binary);
        EXPECT_EQ(field(parts[3], "encoding"), QStringLiteral("base64"));
        EXPECT_EQ(hex(parts[3].toObject().value(QStringLiteral("data"))), binary);
        EXPECT_EQ(field(parts[4], "name"), QStringLiteral("empty"));
        EXPECT_TRUE(field(parts[4], "data").isEmpty());
    }
};

RequestExecuteError_Const post(const QString& url, const QString& header, const QByteArray& body,
                               QByteArray* received)
{
    const ComPtr<_olvHTTPRequestHT> request = newRequest();
    request->put_URL(url);
    request->put_HTTPVerb(QStringLiteral("POST"));
    ComPtr<ICollection> headers;
    request->get_AdditionalHeaders(headers.put());
    headers->Add(header);
    request->put_OptionalData(body);
    const RequestExecuteError_Const rc = execute(request.get());
    *received = receivedDataOf(request.get());
    return rc;
}

class AnsiCodePageScope
{
public:
    explicit AnsiCodePageScope(int codePage) { setAnsiCodePage(codePage); }
    ~AnsiCodePageScope() { setAnsiCodePage(0); }
};
} // namespace

TEST(HTTPFormBuilder, ANewOrClearedBuilderHasNoBodyAndAFreshBoundary)
{
    const ComPtr<_HTTPFormBuilder> form = newFormBuilder();
    EXPECT_TRUE(bytesOf(form.get()).isEmpty());
    EXPECT_TRUE(textOf(form.get()).isEmpty());
    const QString first = boundOf(form.get());
    EXPECT_TRUE(
        QRegularExpression(
            QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"))
            .match(first)
            .hasMatch())
        << first.toStdString();
    QString header;
    form->get_Header(&header);
    EXPECT_EQ(header, QStringLiteral("Content-Type: multipart/form-data; boundary=") + first);

    form->AddElementStr(QStringLiteral("a"), QStringLiteral("b"));
    ASSERT_EQ(form->Clear(), S_OK);
    EXPECT_TRUE(bytesOf(form.get()).isEmpty());
    const QString second = boundOf(form.get());
    EXPECT_NE(second, first);
    form->Clear();
    EXPECT_NE(boundOf(form.get()), second);
    EXPECT_NE(boundOf(newFormBuilder().get()), boundOf(form.get()));
}

TEST(HTTPFormBuilder, OneTextElementGivesTheExactBody)
{
    const ComPtr<_HTTPFormBuilder> form = newFormBuilder();
    form->AddElementStr(QStringLiteral("title"), QStringLiteral("Hi"));
    const QString b = boundOf(form.get());
    const QString expected = QStringLiteral("--") + b +
                             QStringLiteral("\r\nContent-Disposition: form-data; name=\"title\"\r\n"
                                            "\r\nHi\r\n--") +
                             b + QStringLiteral("--");
    EXPECT_EQ(textOf(form.get()), expected);
    // Reading changes nothing; adding after reading continues the same body.
    EXPECT_EQ(bytesOf(form.get()), expected.toLatin1());
    form->AddTextElementStr(QStringLiteral("more"), QStringLiteral("x"));
    EXPECT_TRUE(textOf(form.get()).startsWith(expected.chopped(2) + QStringLiteral("\r\n")));
    EXPECT_TRUE(
        textOf(form.get()).endsWith(QStringLiteral("\r\n\r\nx\r\n--") + b + QStringLiteral("--")));
}

TEST(HTTPFormBuilder, PartHeadersFollowTheArguments)
{
    struct Case
    {
        const char* name;
        std::function<HRESULT(_HTTPFormBuilder*)> add;
        QString headerLines; // between the boundary line and the empty line
    };
    const QByteArray png("\x89PNG\r\n\x1a\n\0\xff", 10);
    const QList<Case> cases = {
        {"binary element",
         [&](_HTTPFormBuilder* f) {
             return f->AddBinaryElement(QStringLiteral("file"), QStringLiteral("a.png"),
                                        QStringLiteral("image/png"), png);
         },
         QStringLiteral("Content-Disposition: form-data; name=\"file\"; filename=\"a.png\"\r\n"
                        "Content-Type: image/png\r\nContent-Transfer-Encoding: binary")},
        {"binary element from text",
         [&](_HTTPFormBuilder* f) {
             return f->AddBinaryElementStr(QStringLiteral("file"), QStringLiteral("a.png"),
                                           QStringLiteral("image/png"), QString::fromLatin1(png));
         },
         QStringLiteral("Content-Disposition: form-data; name=\"file\"; filename=\"a.png\"\r\n"
                        "Content-Type: image/png\r\nContent-Transfer-Encoding: binary")},
        {"charset without a type is ignored",
         [&](_HTTPFormBuilder* f) {
             return f->AddElement(QStringLiteral("t"), png, teText, QString(),
                                  QStringLiteral("utf-8"));
         },
         QStringLiteral("Content-Disposition: form-data; name=\"t\"")},
        {"type and charset",
         [&](_HTTPFormBuilder* f) {
             return f->AddElement(QStringLiteral("t"), png, teText, QStringLiteral("text/plain"),
                                  QStringLiteral("utf-8"));
         },
         QStringLiteral("Content-Disposition: form-data; name=\"t\"\r\n"
                        "Content-Type: text/plain; charset=utf-8")},
        {"base64 label, file name without a type",
         [&](_HTTPFormBuilder* f) {
             return f->AddElement(QStringLiteral("b"), png, teBase64, QString(), QString(),
                                  QStringLiteral("x.bin"));
         },
         QStringLiteral("Content-Disposition: form-data; name=\"b\"; filename=\"x.bin\"\r\n"
                        "Content-Transfer-Encoding: base64")},
        {"empty name", [&](_HTTPFormBuilder* f) { return f->AddTextElement(QString(), png); },
         QStringLiteral("Content-Disposition: form-data; name=\"\"")},
    };
    for (const Case& c : cases) {
        const ComPtr<_HTTPFormBuilder> form = newFormBuilder();
        ASSERT_EQ(c.add(form.get()), S_OK) << c.name;
        const QByteArray b = boundOf(form.get()).toLatin1();
        // The data always goes in unchanged, even where the label says base64.
        EXPECT_EQ(bytesOf(form.get()), "--" + b + "\r\n" + c.headerLines.toLatin1() + "\r\n\r\n" +
                                           png + "\r\n--" + b + "--")
            << c.name;
    }
}

TEST(HTTPFormBuilder, AnEncodingOutsideTheRangeRaisesErrorFiveAndAddsNothing)
{
    const ComPtr<_HTTPFormBuilder> form = newFormBuilder();
    form->AddElementStr(QStringLiteral("kept"), QStringLiteral("1"));
    const QByteArray before = bytesOf(form.get());
    for (const int encoding : {3, -1}) {
        EXPECT_EQ(form->AddElementStr(QStringLiteral("x"), QStringLiteral("y"),
                                      static_cast<TransferEncoding_Const>(encoding)),
                  DISP_E_EXCEPTION);
        const auto error = takeErrorInfo();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number(), 5);
        EXPECT_EQ(error->source(), QStringLiteral("HTTPFormBuilder"));
        EXPECT_EQ(bytesOf(form.get()), before);
    }
    // By name, as a late-bound client calls it, the error is raised to the caller.
    try {
        callByName(form.get(), QStringLiteral("AddElement"), InvokeKind::Method,
                   {QStringLiteral("x"), QByteArray("y"), 3});
        ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), 5);
    }
    EXPECT_EQ(bytesOf(form.get()), before);
}

TEST(HTTPFormBuilder, MembersCanBeCalledByNameWithOptionalArgumentsLeftOut)
{
    const ComPtr<_HTTPFormBuilder> form = newFormBuilder();
    callByName(form.get(), QStringLiteral("AddElementStr"), InvokeKind::Method,
               {QStringLiteral("title"), QStringLiteral("Hi")});
    callByName(form.get(), QStringLiteral("AddBinaryElement"), InvokeKind::Method,
               {QStringLiteral("f"), QStringLiteral("a.png"), QStringLiteral("image/png"),
                QByteArray("\0\1", 2)});
    const QByteArray body =
        callByName(form.get(), QStringLiteral("FormData"), InvokeKind::PropertyGet).toByteArray();
    EXPECT_EQ(body, bytesOf(form.get()));
    const QJsonArray parts = partsOf(parseForm(contentTypeOf(form.get()), body));
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(field(parts[1], "filename"), QStringLiteral("a.png"));
    EXPECT_EQ(hex(parts[1].toObject().value(QStringLiteral("data"))), QByteArray("\0\1", 2));
}

TEST(HTTPFormBuilder, PythonReadsEveryPartBack)
{
    const ComPtr<_HTTPFormBuilder> form = newFormBuilder();
    const SampleForm sample;
    sample.fill(form.get());
    sample.check(partsOf(parseForm(contentTypeOf(form.get()), bytesOf(form.get()))));
}

TEST(HTTPFormBuilder, QuotesAndLineBreaksInNamesCannotForgeHeaderLines)
{
    const ComPtr<_HTTPFormBuilder> form = newFormBuilder();
    const QString name = QStringLiteral("evil\"\r\nContent-Type: text/html\nX: \"");
    const QString fileName = QStringLiteral("a\".html\r");
    form->AddBinaryElement(name, fileName, QStringLiteral("image/png"), QByteArray("data"));
    form->AddTextElementStr(QStringLiteral("next"), QStringLiteral("ok"));
    const QJsonArray parts = partsOf(parseForm(contentTypeOf(form.get()), bytesOf(form.get())));
    ASSERT_EQ(parts.size(), 2);
    const QJsonObject part = parts[0].toObject();
    EXPECT_EQ(part.value(QStringLiteral("headers")).toArray().size(), 3);
    EXPECT_EQ(field(part, "name"), QStringLiteral("evil%22%0D%0AContent-Type: text/html%0AX: %22"));
    EXPECT_EQ(field(part, "filename"), QStringLiteral("a%22.html%0D"));
    EXPECT_EQ(field(part, "type"), QStringLiteral("image/png"));
    EXPECT_EQ(field(parts[1], "name"), QStringLiteral("next"));
}

TEST(HTTPFormBuilder, LineBreaksInTypeOrCharsetAreRefused)
{
    const ComPtr<_HTTPFormBuilder> form = newFormBuilder();
    form->AddElementStr(QStringLiteral("kept"), QStringLiteral("1"));
    const QByteArray before = bytesOf(form.get());
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("text/plain\r\nContent-Disposition: form-data; name=\"x\""), {}},
        {QStringLiteral("text/plain\nX: 1"), {}},
        {QStringLiteral("text/plain"), QStringLiteral("utf-8\rX: 1")},
        {QStringLiteral("text/plain"), QStringLiteral("utf-8\r\n\r\nforged")},
    };
    for (const auto& [type, charset] : cases) {
        EXPECT_EQ(
            form->AddElementStr(QStringLiteral("x"), QStringLiteral("y"), teText, type, charset),
            DISP_E_EXCEPTION);
        const auto error = takeErrorInfo();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number(), 5);
        EXPECT_EQ(error->source(), QStringLiteral("HTTPFormBuilder"));
        EXPECT_EQ(bytesOf(form.get()), before);
    }
}

TEST(HTTPFormBuilder, PartHeadersUseTheAnsiCodePage)
{
    const AnsiCodePageScope cyrillic(1251);
    const ComPtr<_HTTPFormBuilder> form = newFormBuilder();
    form->AddElement(QStringLiteral("имя"), QByteArray("x"), teText, QString(), QString(),
                     QStringLiteral("файл.txt"));
    EXPECT_TRUE(bytesOf(form.get())
                    .contains("name=\"\xE8\xEC\xFF\"; filename=\"\xF4\xE0\xE9\xEB.txt\"\r\n"));
}

TEST(HTTPFormBuilderUE, EncodesNamesAndDataAsTheFormSays)
{
    struct Case
    {
        QList<QPair<QString, QString>> elements; // Data holds one byte per character
        QString form;
    };
    const QList<Case> cases = {
        {{}, QString()},
        {{{QStringLiteral("a b"), QStringLiteral("x&y")}}, QStringLiteral("a%20b=x%26y")},
        {{{QStringLiteral("a"), QStringLiteral("1")}, {QStringLiteral("b"), QStringLiteral("2")}},
         QStringLiteral("a=1&b=2")},
        {{{QStringLiteral("-_.~"), QStringLiteral("-_.~*+/= ")}},
         QStringLiteral("-_.~=-_.~%2A%2B%2F%3D%20")},
        {{{QString(), QStringLiteral("v")}, {QStringLiteral("n"), QString()}},
         QStringLiteral("=v&n=")},
        {{{QStringLiteral("a"), QStringLiteral("1")}, {QStringLiteral("a"), QStringLiteral("2")}},
         QStringLiteral("a=1&a=2")},
        {{{QStringLiteral("t"), utf8(QStringLiteral("Ж"))}}, QStringLiteral("t=%D0%96")},
        {{{QStringLiteral("line"), QStringLiteral("a\r\nb\0c")}},
         QStringLiteral("line=a%0D%0Ab%00c")},
    };
    for (const Case& c : cases) {
        const ComPtr<_HTTPFormBuilderUE> form = newFormBuilderUE();
        for (const auto& [name, data] : c.elements)
            ASSERT_EQ(form->AddElementStr(name, data), S_OK);
        EXPECT_EQ(textOf(form.get()), c.form);
        EXPECT_EQ(bytesOf(form.get()), c.form.toLatin1());
    }
    const ComPtr<_HTTPFormBuilderUE> form = newFormBuilderUE();
    QString header;
    form->get_Header(&header);
    EXPECT_EQ(header, QStringLiteral("Content-type: application/x-www-form-urlencoded"));
    form->AddElement(QStringLiteral("a"), QByteArray("1"));
    form->Clear();
    EXPECT_TRUE(textOf(form.get()).isEmpty());
    EXPECT_TRUE(bytesOf(form.get()).isEmpty());
}

TEST(HTTPFormBuilderUE, NamesGoThroughTheAnsiCodePage)
{
    struct Case
    {
        int codePage;
        QString name;
        QString encoded;
    };
    const QList<Case> cases = {
        {1251, QStringLiteral("Жук"), QStringLiteral("%C6%F3%EA")},
        {1252, QStringLiteral("café"), QStringLiteral("caf%E9")},
        {1252, QStringLiteral("€"), QStringLiteral("%80")},
        // A character the code page lacks is sent as its "?".
        {1252, QStringLiteral("Ж"), QStringLiteral("%3F")},
    };
    for (const Case& c : cases) {
        const AnsiCodePageScope scope(c.codePage);
        const ComPtr<_HTTPFormBuilderUE> form = newFormBuilderUE();
        form->AddElement(c.name, QByteArray("1"));
        EXPECT_EQ(textOf(form.get()), c.encoded + QStringLiteral("=1"));
    }
}

TEST(HTTPFormBuilderUE, PythonDecodesEveryByteValue)
{
    const ComPtr<_HTTPFormBuilderUE> form = newFormBuilderUE();
    const AnsiCodePageScope scope(1252);
    const QString latin1Name = QString::fromLatin1(allByteValues().mid(1));
    form->AddElement(latin1Name, allByteValues());
    form->AddElementStr(QStringLiteral("text"), utf8(QStringLiteral("Привет & до свидания")));
    form->AddElement(QStringLiteral("empty"), QByteArray());
    const auto pairs = pairsOf(parseForm(contentTypeOf(form.get()), bytesOf(form.get())));
    ASSERT_EQ(pairs.size(), 3);
    EXPECT_EQ(pairs[0].first, toAnsi(latin1Name));
    EXPECT_EQ(pairs[0].second, allByteValues());
    EXPECT_EQ(QString::fromUtf8(pairs[1].second), QStringLiteral("Привет & до свидания"));
    EXPECT_EQ(pairs[2], qMakePair(QByteArray("empty"), QByteArray()));
}

TEST(FormBuilders, BodiesArriveIntactThroughWget)
{
    TestServer server;
    QByteArray received;

    const ComPtr<_HTTPFormBuilder> multipart = newFormBuilder();
    const SampleForm sample;
    sample.fill(multipart.get());
    QString header;
    multipart->get_Header(&header);
    ASSERT_EQ(
        post(server.url(QStringLiteral("/form")), header, bytesOf(multipart.get()), &received),
        reeSuccess);
    sample.check(partsOf(QJsonDocument::fromJson(received).object()));

    const ComPtr<_HTTPFormBuilderUE> encoded = newFormBuilderUE();
    encoded->AddElement(QStringLiteral("bytes"), allByteValues());
    encoded->AddElementStr(QStringLiteral("a b"), QStringLiteral("x&y"));
    encoded->get_Header(&header);
    ASSERT_EQ(post(server.url(QStringLiteral("/form")), header, bytesOf(encoded.get()), &received),
              reeSuccess);
    const auto pairs = pairsOf(QJsonDocument::fromJson(received).object());
    ASSERT_EQ(pairs.size(), 2);
    EXPECT_EQ(pairs[0], qMakePair(QByteArray("bytes"), allByteValues()));
    EXPECT_EQ(pairs[1], qMakePair(QByteArray("a b"), QByteArray("x&y")));
}

TEST(ByteBuffers, ConcatenationJoinsByteArraysOnly)
{
    EXPECT_TRUE(ConcatByteArrays({}).isEmpty());
    EXPECT_TRUE(ConcatByteArrays({QByteArray(), QByteArray()}).isEmpty());
    EXPECT_EQ(ConcatByteArrays({QByteArray("ab"), QByteArray(), QByteArray("\0c", 2)}),
              QByteArray("ab\0c", 4));
    try {
        ConcatByteArrays({QByteArray("ab"), QStringLiteral("text")});
        ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), 5);
    }
}
