#include "platform/com/RuntimeError.h"

RuntimeError::RuntimeError(int number, const QString& source, const QString& description)
    : m_number(number), m_source(source), m_description(description),
      m_what(QStringLiteral("%1 (%2): %3").arg(number).arg(source, description).toStdString())
{
}

QString standardErrorDescription(int number)
{
    switch (number) {
    case 5:
        return QStringLiteral("Invalid procedure call or argument");
    case 6:
        return QStringLiteral("Overflow");
    case 7:
        return QStringLiteral("Out of memory");
    case 9:
        return QStringLiteral("Subscript out of range");
    case 91:
        return QStringLiteral("Object variable or With block variable not set");
    case 429:
        return QStringLiteral("ActiveX component can't create object");
    case 438:
        return QStringLiteral("Object doesn't support this property or method");
    default:
        return QStringLiteral("Application-defined or object-defined error");
    }
}

void raiseError(int number, const QString& source, const QString& description)
{
    throw RuntimeError(number, source,
                       description.isEmpty() ? standardErrorDescription(number) : description);
}
