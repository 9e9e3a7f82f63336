#pragma once
// A raised run-time error: number, source and description, thrown as a C++ exception
// and caught by whoever in the system handles run-time errors.
#include "platform/PlatformExport.h"

#include <QString>
#include <exception>
#include <string>

constexpr int ErrInvalidProcedureCall = 5;
constexpr int ErrOverflow = 6;
constexpr int ErrOutOfMemory = 7;
constexpr int ErrCantCreateObject = 429;

class PLATFORM_EXPORT RuntimeError : public std::exception
{
public:
    RuntimeError(int number, const QString& source, const QString& description);
    int number() const { return m_number; }
    const QString& source() const { return m_source; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    int m_number;
    QString m_source;
    QString m_description;
    std::string m_what;
};

// The standard description of a run-time error number ("Invalid procedure call or
// argument" for 5).
PLATFORM_EXPORT QString standardErrorDescription(int number);

// Raises error number from source; an empty description takes the standard one.
[[noreturn]] PLATFORM_EXPORT void raiseError(int number, const QString& source,
                                             const QString& description = {});

// Support-library calls return a status; a negative one becomes a raised error.
inline int checkStatus(int status, const char* function)
{
    if (status < 0)
        raiseError(ErrInvalidProcedureCall, QString::fromLatin1(function),
                   QStringLiteral("%1 failed with status %2")
                       .arg(QString::fromLatin1(function))
                       .arg(status));
    return status;
}
