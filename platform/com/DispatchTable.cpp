#include "platform/com/DispatchTable.h"

#include "platform/com/ComPtr.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/RuntimeError.h"

void DispatchTable::addProperty(const QString& name, Getter getter, Setter setter)
{
    m_entries.append({name, std::move(getter), std::move(setter), {}});
}

void DispatchTable::addMethod(const QString& name, Method method)
{
    m_entries.append({name, {}, {}, std::move(method)});
}

const DispatchTable::Entry* DispatchTable::find(const QString& name) const
{
    for (const Entry& entry : m_entries)
        if (entry.name.compare(name, Qt::CaseInsensitive) == 0)
            return &entry;
    return nullptr;
}

HRESULT DispatchTable::propertyNames(QStringList* names) const
{
    if (!names)
        return E_POINTER;
    names->clear();
    for (const Entry& entry : m_entries)
        if (entry.getter && entry.setter)
            names->append(entry.name);
    return S_OK;
}

HRESULT DispatchTable::invoke(const QString& member, InvokeKind kind, const QVariantList& arguments,
                              QVariant* result) const
{
    const Entry* entry = find(member);
    if (!entry)
        return DISP_E_MEMBERNOTFOUND;
    switch (kind) {
    case InvokeKind::Method:
        if (entry->method) {
            const QVariant value = entry->method(arguments);
            if (result)
                *result = value;
            return S_OK;
        }
        [[fallthrough]]; // a property read with method syntax
    case InvokeKind::PropertyGet:
        if (!entry->getter)
            return DISP_E_MEMBERNOTFOUND;
        if (result)
            *result = entry->getter();
        return S_OK;
    case InvokeKind::PropertyPut:
    case InvokeKind::PropertyPutRef:
        if (!entry->setter || arguments.size() != 1)
            return DISP_E_MEMBERNOTFOUND;
        entry->setter(arguments.first());
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

QVariant callByName(IUnknown* object, const QString& member, InvokeKind kind,
                    const QVariantList& arguments)
{
    if (!object)
        raiseError(91, QStringLiteral("CallByName"));
    ComPtr<IDispatch> dispatch = ComPtr<IUnknown>::share(object).as<IDispatch>();
    QVariant result;
    const HRESULT hr =
        dispatch ? dispatch->Invoke(member, kind, arguments, &result) : DISP_E_MEMBERNOTFOUND;
    if (hr == DISP_E_MEMBERNOTFOUND)
        raiseError(438, QStringLiteral("CallByName"));
    // An error raised inside the member reaches the caller as it was raised.
    checkCall(hr, QStringLiteral("CallByName"));
    return result;
}
