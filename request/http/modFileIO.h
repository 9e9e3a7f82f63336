#pragma once
// Whole-file readers and writers. None raises: each answers false on any failure and
// leaves its output empty. Text files are in the ANSI code page.
#include <QByteArray>
#include <QString>

bool ReadTextFile(const QString& fileName, QString* text);
bool ReadBinaryFile(const QString& fileName, QByteArray* bytes);
// Creates the file or empties it, then writes.
bool WriteTextFile(const QString& fileName, const QString& text);
bool WriteBinaryFile(const QString& fileName, const QByteArray& bytes);
