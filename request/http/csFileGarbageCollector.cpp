#include "request/http/csFileGarbageCollector.h"

#include <QFile>

csFileGarbageCollector::~csFileGarbageCollector()
{
    FlushIt();
}

void csFileGarbageCollector::AddFiles(const QStringList& names)
{
    for (const QString& name : names)
        if (!m_names.contains(name))
            m_names.append(name);
}

QString csFileGarbageCollector::LastFileName() const
{
    return m_names.isEmpty() ? QString() : m_names.last();
}

void csFileGarbageCollector::FlushIt()
{
    for (qsizetype i = 0; i < m_names.size();) {
        if (QFile::remove(m_names.at(i)))
            m_names.removeAt(i);
        else
            ++i;
    }
}
