#include "request/forms/HTTPFormBuilder.h"

#include "platform/com/ErrorInfo.h"
#include "request/forms/modByteBuffers.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

namespace {
const QString Source = QStringLiteral("HTTPFormBuilder");
const QString CRLF = QStringLiteral("\r\n");

// A quote, CR or LF in a name would end the quoted value or the header line and let
// the caller's data forge header lines; browsers send them percent-encoded.
QString quotedValue(QString value)
{
    value.replace(QLatin1Char('"'), QStringLiteral("%22"));
    value.replace(QLatin1Char('\r'), QStringLiteral("%0D"));
    value.replace(QLatin1Char('\n'), QStringLiteral("%0A"));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

QByteArray bytesOf(const QString& text)
{
    QByteArray bytes;
    checkStatus(suStrConvB(text, &bytes), "suStrConvB");
    return bytes;
}

QString textOf(const QByteArray& bytes)
{
    QString text;
    checkStatus(suStrConvW(bytes, &text), "suStrConvW");
    return text;
}

TransferEncoding_Const encodingArgument(const QVariantList& arguments, int index)
{
    return static_cast<TransferEncoding_Const>(arguments.value(index, int(teText)).toInt());
}
} // namespace

HTTPFormBuilder::HTTPFormBuilder()
{
    const auto text = [](const QVariantList& a, int i) { return a.value(i).toString(); };
    const auto bytes = [](const QVariantList& a, int i) { return a.value(i).toByteArray(); };
    const auto run = [](HRESULT hr) {
        checkCall(hr, Source);
        return QVariant();
    };
    m_table.addProperty(QStringLiteral("Bound"), [this] { return m_boundary; });
    m_table.addProperty(QStringLiteral("Header"), [this] {
        QString header;
        get_Header(&header);
        return header;
    });
    m_table.addProperty(QStringLiteral("FormData"), [this] { return formData(); });
    m_table.addProperty(QStringLiteral("FormDataStr"), [this] { return textOf(formData()); });
    m_table.addMethod(QStringLiteral("Clear"),
                      [=, this](const QVariantList&) { return run(Clear()); });
    m_table.addMethod(QStringLiteral("AddTextElement"), [=, this](const QVariantList& a) {
        return run(AddTextElement(text(a, 0), bytes(a, 1)));
    });
    m_table.addMethod(QStringLiteral("AddBinaryElement"), [=, this](const QVariantList& a) {
        return run(AddBinaryElement(text(a, 0), text(a, 1), text(a, 2), bytes(a, 3)));
    });
    m_table.addMethod(QStringLiteral("AddElement"), [=, this](const QVariantList& a) {
        return run(AddElement(text(a, 0), bytes(a, 1), encodingArgument(a, 2), text(a, 3),
                              text(a, 4), text(a, 5)));
    });
    m_table.addMethod(QStringLiteral("AddTextElementStr"), [=, this](const QVariantList& a) {
        return run(AddTextElementStr(text(a, 0), text(a, 1)));
    });
    m_table.addMethod(QStringLiteral("AddBinaryElementStr"), [=, this](const QVariantList& a) {
        return run(AddBinaryElementStr(text(a, 0), text(a, 1), text(a, 2), text(a, 3)));
    });
    m_table.addMethod(QStringLiteral("AddElementStr"), [=, this](const QVariantList& a) {
        return run(AddElementStr(text(a, 0), text(a, 1), encodingArgument(a, 2), text(a, 3),
                                 text(a, 4), text(a, 5)));
    });
    checkCall(Clear(), Source);
}

HRESULT HTTPFormBuilder::Clear()
{
    return guardCall([this] {
        QString guid;
        checkStatus(sxGetNewGUID(&guid), "sxGetNewGUID");
        m_boundary = guid.remove(QLatin1Char('{')).remove(QLatin1Char('}')).toUpper();
        m_body.clear();
        return S_OK;
    });
}

HRESULT HTTPFormBuilder::get_Bound(QString* value)
{
    return give(m_boundary, value);
}

HRESULT HTTPFormBuilder::get_Header(QString* value)
{
    return give(QStringLiteral("Content-Type: multipart/form-data; boundary=") + m_boundary, value);
}

QByteArray HTTPFormBuilder::formData() const
{
    if (m_body.isEmpty())
        return {};
    const QByteArray closing =
        AnsiTextToBytes(QStringLiteral("--") + m_boundary + QStringLiteral("--"));
    return ConcatByteArrays({m_body, closing});
}

HRESULT HTTPFormBuilder::get_FormData(QByteArray* value)
{
    return guardCall([&] { return give(formData(), value); });
}

HRESULT HTTPFormBuilder::get_FormDataStr(QString* value)
{
    return guardCall([&] { return give(textOf(formData()), value); });
}

HRESULT HTTPFormBuilder::AddTextElement(const QString& Name, const QByteArray& Data)
{
    return AddElement(Name, Data, teText, QString(), QString(), QString());
}

HRESULT HTTPFormBuilder::AddBinaryElement(const QString& Name, const QString& FileName,
                                          const QString& MIMEType, const QByteArray& Data)
{
    return AddElement(Name, Data, teBinary, MIMEType, QString(), FileName);
}

HRESULT HTTPFormBuilder::AddElement(const QString& Name, const QByteArray& Data,
                                    TransferEncoding_Const TransferEncoding,
                                    const QString& MIMEType, const QString& Charset,
                                    const QString& FileName)
{
    return guardCall([&] {
        if (TransferEncoding < _teMin || TransferEncoding > _teMax)
            raiseError(ErrInvalidProcedureCall, Source);
        // The type and the character set stand in the part header as they are: a line
        // break would let them forge header lines of the part.
        for (const QString* value : {&MIMEType, &Charset})
            if (value->contains(QLatin1Char('\r')) || value->contains(QLatin1Char('\n')))
                raiseError(ErrInvalidProcedureCall, Source);
        QString header = QStringLiteral("--") + m_boundary + CRLF +
                         QStringLiteral("Content-Disposition: form-data; name=") +
                         quotedValue(Name);
        if (!FileName.isEmpty())
            header += QStringLiteral("; filename=") + quotedValue(FileName);
        header += CRLF;
        if (!MIMEType.isEmpty()) {
            header += QStringLiteral("Content-Type: ") + MIMEType;
            if (!Charset.isEmpty())
                header += QStringLiteral("; charset=") + Charset;
            header += CRLF;
        }
        if (TransferEncoding == teBinary)
            header += QStringLiteral("Content-Transfer-Encoding: binary") + CRLF;
        else if (TransferEncoding == teBase64)
            header += QStringLiteral("Content-Transfer-Encoding: base64") + CRLF;
        header += CRLF;
        // Appending keeps many small fields linear; the part itself is one allocation.
        m_body += ConcatByteArrays({AnsiTextToBytes(header), Data, QByteArray("\r\n")});
        return S_OK;
    });
}

HRESULT HTTPFormBuilder::AddTextElementStr(const QString& Name, const QString& Data)
{
    return guardCall([&] { return AddTextElement(Name, bytesOf(Data)); });
}

HRESULT HTTPFormBuilder::AddBinaryElementStr(const QString& Name, const QString& FileName,
                                             const QString& MIMEType, const QString& Data)
{
    return guardCall([&] { return AddBinaryElement(Name, FileName, MIMEType, bytesOf(Data)); });
}

HRESULT HTTPFormBuilder::AddElementStr(const QString& Name, const QString& Data,
                                       TransferEncoding_Const TransferEncoding,
                                       const QString& MIMEType, const QString& Charset,
                                       const QString& FileName)
{
    return guardCall([&] {
        return AddElement(Name, bytesOf(Data), TransferEncoding, MIMEType, Charset, FileName);
    });
}

HRESULT HTTPFormBuilder::GetPropertyNames(QStringList* names)
{
    return m_table.propertyNames(names);
}

HRESULT HTTPFormBuilder::Invoke(const QString& member, InvokeKind kind,
                                const QVariantList& arguments, QVariant* result)
{
    return guardCall([&] { return m_table.invoke(member, kind, arguments, result); });
}
