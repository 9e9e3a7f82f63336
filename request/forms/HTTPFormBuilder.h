#pragma once
// HTTPFormBuilder: a multipart/form-data request body and its header line.
#include "platform/com/DispatchTable.h"
#include "request/KWQT0100.h"

class HTTPFormBuilder : public ComObject<_HTTPFormBuilder>
{
public:
    HTTPFormBuilder();

    HRESULT Clear() override;
    HRESULT get_Bound(QString* value) override;
    HRESULT get_Header(QString* value) override;
    HRESULT get_FormData(QByteArray* value) override;
    HRESULT get_FormDataStr(QString* value) override;
    HRESULT AddTextElement(const QString& Name, const QByteArray& Data) override;
    HRESULT AddBinaryElement(const QString& Name, const QString& FileName, const QString& MIMEType,
                             const QByteArray& Data) override;
    HRESULT AddElement(const QString& Name, const QByteArray& Data,
                       TransferEncoding_Const TransferEncoding, const QString& MIMEType,
                       const QString& Charset, const QString& FileName) override;
    HRESULT AddTextElementStr(const QString& Name, const QString& Data) override;
    HRESULT AddBinaryElementStr(const QString& Name, const QString& FileName,
                                const QString& MIMEType, const QString& Data) override;
    HRESULT AddElementStr(const QString& Name, const QString& Data,
                          TransferEncoding_Const TransferEncoding, const QString& MIMEType,
                          const QString& Charset, const QString& FileName) override;

    HRESULT GetPropertyNames(QStringList* names) override;
    HRESULT Invoke(const QString& member, InvokeKind kind, const QVariantList& arguments,
                   QVariant* result) override;

private:
    QByteArray formData() const;

    QByteArray m_body; // every part so far, without the closing delimiter
    QString m_boundary;
    DispatchTable m_table;
};
