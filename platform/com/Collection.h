#pragma once
// The platform's ordered collection of Variants: items indexed from 1, optionally
// with a key each (keys compared without regard to case).
#include "platform/com/ComPtr.h"

struct ICollection : IDispatch
{
    static constexpr GUID iid = makeGuid("{A4C46780-499F-101B-BB78-00AA00383CBB}");
    // Raises error 457 when the key is already held.
    virtual void Add(const QVariant& item, const QString& key = {}) = 0;
    virtual int Count() const = 0;
    // index from 1; raises error 9 outside the collection.
    virtual QVariant Item(int index) const = 0;
    virtual void Remove(int index) = 0;
    virtual bool ContainsKey(const QString& key) const = 0;
};

PLATFORM_EXPORT ComPtr<ICollection> newCollection();
