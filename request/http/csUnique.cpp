#include "request/http/csUnique.h"

bool csUnique::IsUnique(const QString& key)
{
    const QString folded = key.toCaseFolded();
    if (m_keys.contains(folded))
        return false;
    m_keys.insert(folded);
    return true;
}
