#pragma once
// csFileGarbageCollector: the temporary files of one request object, deleted when the
// object goes. A name is held once.
#include <QStringList>

class csFileGarbageCollector
{
public:
    ~csFileGarbageCollector();
    // Registers each name; a name already held is skipped.
    void AddFiles(const QStringList& names);
    // The most recently registered name still held, or "".
    QString LastFileName() const;
    // Deletes the held files; names whose deletion fails stay held for a later try.
    void FlushIt();

private:
    // File names are compared exactly: on this system names that differ in letter case
    // are different files.
    QStringList m_names;
};
