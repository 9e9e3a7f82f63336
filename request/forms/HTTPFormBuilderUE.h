#pragma once
// HTTPFormBuilderUE: an application/x-www-form-urlencoded request body.
#include "platform/com/DispatchTable.h"
#include "request/KWQT0100.h"

class HTTPFormBuilderUE : public ComObject<_HTTPFormBuilderUE>
{
public:
    HTTPFormBuilderUE();

    HRESULT Clear() override;
    HRESULT get_Header(QString* value) override;
    HRESULT get_FormData(QByteArray* value) override;
    HRESULT get_FormDataStr(QString* value) override;
    HRESULT AddElement(const QString& Name, const QByteArray& Data) override;
    HRESULT AddElementStr(const QString& Name, const QString& Data) override;

    HRESULT GetPropertyNames(QStringList* names) override;
    HRESULT Invoke(const QString& member, InvokeKind kind, const QVariantList& arguments,
                   QVariant* result) override;

private:
    static QString EncodeFormName(const QString& name);
    static QString EncodeFormData(const QByteArray& data);

    QString m_form; // ASCII only, so text and bytes are interchangeable
    DispatchTable m_table;
};
