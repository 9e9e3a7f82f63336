#pragma once
// The link pass ("[URL]" and "[URL=…]" tags) on its own, as ConvertPostBody runs it.
#include <QString>
#include <QStringView>

namespace convert {
// Writes the converted text into buffer and answers true, or answers false when the text
// stays as it is. Raises error 6 when the text would grow past limit characters.
bool convertLinks(QStringView text, QString& buffer, qsizetype limit);
} // namespace convert
