#pragma once
// Helper for IDispatch: a table of an object's members by name (compared without
// regard to case), each bound to a getter, setter or method.
#include "platform/com/Unknown.h"

#include <QList>
#include <functional>

class PLATFORM_EXPORT DispatchTable
{
public:
    using Getter = std::function<QVariant()>;
    using Setter = std::function<void(const QVariant&)>;
    using Method = std::function<QVariant(const QVariantList&)>;

    void addProperty(const QString& name, Getter getter, Setter setter = {});
    void addMethod(const QString& name, Method method);

    // Read/write properties in the order they were added.
    HRESULT propertyNames(QStringList* names) const;
    // DISP_E_MEMBERNOTFOUND for unknown members; raised errors pass through.
    HRESULT invoke(const QString& member, InvokeKind kind, const QVariantList& arguments,
                   QVariant* result) const;

private:
    struct Entry
    {
        QString name;
        Getter getter;
        Setter setter;
        Method method;
    };
    const Entry* find(const QString& name) const;
    QList<Entry> m_entries;
};

// Late-bound call, as the language's CallByName: raises 438 when the object has no
// such member.
PLATFORM_EXPORT QVariant callByName(IUnknown* object, const QString& member, InvokeKind kind,
                                    const QVariantList& arguments = {});
