// Form builders: one large file part, and many small fields (each AddElement copies the
// whole body so far, so the second grows with the square of the field count).
#include "request/forms/HTTPFormBuilder.h"
#include "request/forms/HTTPFormBuilderUE.h"

#include <benchmark/benchmark.h>

namespace {
void multipartLargeFile(benchmark::State& state)
{
    const QByteArray file(state.range(0) << 20, '\x5a');
    for (auto _ : state) {
        const auto form = ComPtr<_HTTPFormBuilder>::adopt(new HTTPFormBuilder);
        form->AddBinaryElement(QStringLiteral("file"), QStringLiteral("big.bin"),
                               QStringLiteral("application/octet-stream"), file);
        QByteArray body;
        form->get_FormData(&body);
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(state.iterations() * file.size());
}
BENCHMARK(multipartLargeFile)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

void multipartManyFields(benchmark::State& state)
{
    const QByteArray value(1024, 'v');
    for (auto _ : state) {
        const auto form = ComPtr<_HTTPFormBuilder>::adopt(new HTTPFormBuilder);
        for (int i = 0; i < state.range(0); ++i)
            form->AddTextElement(QStringLiteral("field%1").arg(i), value);
        QByteArray body;
        form->get_FormData(&body);
        benchmark::DoNotOptimize(body.data());
    }
}
BENCHMARK(multipartManyFields)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

void urlEncodedData(benchmark::State& state)
{
    QByteArray data;
    for (int i = 0; i < (state.range(0) << 20); ++i)
        data += static_cast<char>(i * 7);
    for (auto _ : state) {
        const auto form = ComPtr<_HTTPFormBuilderUE>::adopt(new HTTPFormBuilderUE);
        form->AddElement(QStringLiteral("data"), data);
        QString text;
        form->get_FormDataStr(&text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(urlEncodedData)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
