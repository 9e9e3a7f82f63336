// libFuzzer target: ConvertPostBody must neither crash nor hang on any body, and must
// agree with the plain pass-by-pass port character for character, or fail with the
// same error where nested links would grow the text past its limit. The first byte
// picks how the rest becomes text: raw UTF-16 units (unpaired surrogates included)
// or UTF-8.
#include "platform/com/RuntimeError.h"
#include "poster/convert/modConverter.h"
#include "tests/convert/ReferenceConverter.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
template <typename Convert> QString outcome(Convert convert, const QString& body, bool lineBreaks)
{
    try {
        return convert(body, lineBreaks);
    } catch (const RuntimeError& error) {
        return QStringLiteral("\x01error %1").arg(error.number());
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool lineBreaks = data[0] & 1;
    QString body;
    if (data[0] & 2) {
        body.resize(static_cast<qsizetype>((size - 1) / 2));
        std::memcpy(body.data(), data + 1, static_cast<size_t>(body.size()) * 2);
    } else {
        body = QString::fromUtf8(reinterpret_cast<const char*>(data + 1),
                                 static_cast<qsizetype>(size - 1));
    }
    if (outcome(ConvertPostBody, body, lineBreaks) !=
        outcome(ReferenceConvertPostBody, body, lineBreaks))
        std::abort();
    return 0;
}
