#pragma once
#include <QSet>
#include <QString>

// csUnique: true the first time a key is offered, false for every later offer of an
// equal key (compared without regard to letter case).
class csUnique
{
public:
    bool IsUnique(const QString& key);

private:
    QSet<QString> m_keys;
};
