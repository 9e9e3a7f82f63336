// libFuzzer target: ConvertPostBody must neither crash nor hang on any body, and must
// agree with the plain pass-by-pass port character for character. The first byte
// picks how the rest becomes text: raw UTF-16 units (unpaired surrogates included)
// or UTF-8.
#include "poster/convert/modConverter.h"
#include "tests/convert/ReferenceConverter.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

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
    const QString fast = ConvertPostBody(body, lineBreaks);
    if (fast != ReferenceConvertPostBody(body, lineBreaks))
        std::abort();
    return 0;
}
