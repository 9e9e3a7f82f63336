#include "platform/com/Collection.h"

#include "platform/com/DispatchTable.h"
#include "platform/com/RuntimeError.h"

namespace {
class Collection : public ComObject<ICollection>
{
public:
    Collection()
    {
        m_table.addMethod(QStringLiteral("Add"), [this](const QVariantList& a) {
            Add(a.value(0), a.value(1).toString());
            return QVariant();
        });
        m_table.addProperty(QStringLiteral("Count"), [this] { return Count(); });
        m_table.addMethod(QStringLiteral("Item"),
                          [this](const QVariantList& a) { return Item(a.value(0).toInt()); });
        m_table.addMethod(QStringLiteral("Remove"), [this](const QVariantList& a) {
            Remove(a.value(0).toInt());
            return QVariant();
        });
    }

    void Add(const QVariant& item, const QString& key) override
    {
        if (!key.isNull() && ContainsKey(key))
            raiseError(457, QStringLiteral("Collection"),
                       QStringLiteral(
                           "This key is already associated with an element of this collection"));
        m_items.append({item, key.toCaseFolded()});
    }
    int Count() const override { return static_cast<int>(m_items.size()); }
    QVariant Item(int index) const override
    {
        if (index < 1 || index > m_items.size())
            raiseError(9, QStringLiteral("Collection"));
        return m_items.at(index - 1).item;
    }
    void Remove(int index) override
    {
        if (index < 1 || index > m_items.size())
            raiseError(9, QStringLiteral("Collection"));
        m_items.removeAt(index - 1);
    }
    bool ContainsKey(const QString& key) const override
    {
        const QString folded = key.toCaseFolded();
        for (const Entry& entry : m_items)
            if (!entry.key.isNull() && entry.key == folded)
                return true;
        return false;
    }
    HRESULT GetPropertyNames(QStringList* names) override { return m_table.propertyNames(names); }
    HRESULT Invoke(const QString& member, InvokeKind kind, const QVariantList& args,
                   QVariant* result) override
    {
        return m_table.invoke(member, kind, args, result);
    }

private:
    struct Entry
    {
        QVariant item;
        QString key;
    };
    QList<Entry> m_items;
    DispatchTable m_table;
};
} // namespace

ComPtr<ICollection> newCollection()
{
    return ComPtr<ICollection>::adopt(new Collection);
}
