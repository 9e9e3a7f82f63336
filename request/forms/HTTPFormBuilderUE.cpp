#include "request/forms/HTTPFormBuilderUE.h"

#include "platform/com/ErrorInfo.h"
#include "request/forms/modByteBuffers.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

#include <array>

namespace {
const QString Source = QStringLiteral("HTTPFormBuilderUE");

// The unreserved characters of RFC 3986.
bool isUnreserved(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'_' || c == u'.' || c == u'~';
}

// "%" and the two digits of sxHex1 for every byte value, asked for once: data runs to
// megabytes, and a call per byte would dominate.
const std::array<QString, 256>& percentCodes()
{
    static const std::array<QString, 256> codes = [] {
        std::array<QString, 256> table;
        for (int byte = 0; byte < 256; ++byte) {
            QString digits;
            checkStatus(sxHex1(static_cast<unsigned char>(byte), &digits), "sxHex1");
            table[byte] = QLatin1Char('%') + digits;
        }
        return table;
    }();
    return codes;
}

void appendPercent(QString* text, unsigned char byte)
{
    *text += percentCodes()[byte];
}
} // namespace

HTTPFormBuilderUE::HTTPFormBuilderUE()
{
    const auto run = [](HRESULT hr) {
        checkCall(hr, Source);
        return QVariant();
    };
    m_table.addProperty(QStringLiteral("Header"), [this] {
        QString header;
        get_Header(&header);
        return header;
    });
    m_table.addProperty(QStringLiteral("FormData"), [this] { return m_form.toLatin1(); });
    m_table.addProperty(QStringLiteral("FormDataStr"), [this] { return m_form; });
    m_table.addMethod(QStringLiteral("Clear"),
                      [=, this](const QVariantList&) { return run(Clear()); });
    m_table.addMethod(QStringLiteral("AddElement"), [=, this](const QVariantList& a) {
        return run(AddElement(a.value(0).toString(), a.value(1).toByteArray()));
    });
    m_table.addMethod(QStringLiteral("AddElementStr"), [=, this](const QVariantList& a) {
        return run(AddElementStr(a.value(0).toString(), a.value(1).toString()));
    });
}

HRESULT HTTPFormBuilderUE::Clear()
{
    m_form.clear();
    return S_OK;
}

HRESULT HTTPFormBuilderUE::get_Header(QString* value)
{
    return give(QStringLiteral("Content-type: application/x-www-form-urlencoded"), value);
}

HRESULT HTTPFormBuilderUE::get_FormData(QByteArray* value)
{
    if (!value)
        return E_POINTER;
    return guardCall([&] {
        checkStatus(suStrConvB(m_form, value), "suStrConvB");
        return S_OK;
    });
}

HRESULT HTTPFormBuilderUE::get_FormDataStr(QString* value)
{
    return give(m_form, value);
}

QString HTTPFormBuilderUE::EncodeFormName(const QString& name)
{
    QString text;
    for (const QChar c : name) {
        if (isUnreserved(c.unicode())) {
            text += c;
            continue;
        }
        // The system code pages are single-byte: a character they lack becomes "?".
        const QByteArray ansi = AnsiTextToBytes(QString(c));
        if (ansi.size() != 1)
            raiseError(ErrOverflow, Source);
        appendPercent(&text, static_cast<unsigned char>(ansi.at(0)));
    }
    return text;
}

QString HTTPFormBuilderUE::EncodeFormData(const QByteArray& data)
{
    QString text;
    text.reserve(data.size() * 3);
    for (const char byte : data) {
        if (isUnreserved(static_cast<unsigned char>(byte)))
            text += QLatin1Char(byte);
        else
            appendPercent(&text, static_cast<unsigned char>(byte));
    }
    return text;
}

HRESULT HTTPFormBuilderUE::AddElement(const QString& Name, const QByteArray& Data)
{
    return guardCall([&] {
        // Encode first, so that a failed element leaves no trace in the form.
        const QString piece = EncodeFormName(Name) + QLatin1Char('=') + EncodeFormData(Data);
        if (!m_form.isEmpty())
            m_form += QLatin1Char('&');
        m_form += piece;
        return S_OK;
    });
}

HRESULT HTTPFormBuilderUE::AddElementStr(const QString& Name, const QString& Data)
{
    return guardCall([&] {
        QByteArray bytes;
        checkStatus(suStrConvB(Data, &bytes), "suStrConvB");
        return AddElement(Name, bytes);
    });
}

HRESULT HTTPFormBuilderUE::GetPropertyNames(QStringList* names)
{
    return m_table.propertyNames(names);
}

HRESULT HTTPFormBuilderUE::Invoke(const QString& member, InvokeKind kind,
                                  const QVariantList& arguments, QVariant* result)
{
    return guardCall([&] { return m_table.invoke(member, kind, arguments, result); });
}
