// ConvertPostBody over generated bodies of 100 KB, 1 MB and 10 MB that mix every tag,
// malformed tags, code blocks, brackets in running text, [J]/[L] tags and CR LF lines.
// Reports MB/s of UTF-8 input.
#include "poster/convert/modConverter.h"

#include <QRandomGenerator>
#include <QStringList>
#include <benchmark/benchmark.h>

namespace {
// proseShare: the share of pieces that are plain running text (the rest are markup).
QString generateBody(qsizetype utf8Bytes, double proseShare)
{
    static const QStringList pieces = {
        QStringLiteral("[b]bold[/b] "), QStringLiteral("[I]it[/i] "),
        QStringLiteral("[u]u[/U][s]s[/s] "), QStringLiteral("[OT]offtop[/OT] "),
        QStringLiteral("[IMG]http://img.example/a.png[/IMG]"),
        QStringLiteral("[RIGHT]r[/RIGHT][center]c[/center]"),
        QStringLiteral("[URL]http://a.example/[/URL] "),
        QStringLiteral("[url=http://b.example/x]link text[/url] "),
        // Malformed, left as it is. An opener with no closer of its own would pair with
        // a later link's closer, and the links re-read inside it would multiply the text
        // past the link pass's limit.
        QStringLiteral("[URL=broken[/URL] "), QStringLiteral("[MORE]"),
        QStringLiteral("[CODE]if (a < b && c > \"d\")\r\n  x();[/CODE]"),
        QStringLiteral("[code]unclosed "), QStringLiteral(" -> "), QStringLiteral(" a < b > c "),
        QStringLiteral("<!-- note -->"), QStringLiteral("[J]friend[/J] "),
        QStringLiteral("[L]neighbour[/L] "), QStringLiteral("[J]open "),
        QStringLiteral("[quote]x[/quote] "), QStringLiteral("\r\n"),
        QStringLiteral("Обычный русский текст, много слов подряд. "),
        QStringLiteral("Plain running text with words and numbers 12345. ")};
    static const QStringList prose = {
        QStringLiteral("Обычный русский текст, много слов подряд. "),
        QStringLiteral("Plain running text with words and numbers 12345. "),
        QStringLiteral("\r\n")};
    QRandomGenerator random(7);
    QString body;
    qsizetype bytes = 0;
    while (bytes < utf8Bytes) {
        const QStringList& from = random.generateDouble() < proseShare ? prose : pieces;
        const QString& piece = from.at(random.bounded(static_cast<int>(from.size())));
        body += piece;
        bytes += piece.toUtf8().size();
    }
    return body;
}

// Arguments: the body's size in UTF-8 bytes, and the percentage of running-text pieces.
// Markup-dense bodies (0 %) carry the goal; 80 % is closer to what diaries hold.
void BM_ConvertPostBody(benchmark::State& state)
{
    const QString body = generateBody(state.range(0), static_cast<double>(state.range(1)) / 100);
    const auto inputBytes = static_cast<double>(body.toUtf8().size());
    for (auto _ : state)
        benchmark::DoNotOptimize(ConvertPostBody(body, true));
    state.counters["MB/s"] =
        benchmark::Counter(inputBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
// One plain pass over the same body (every CR LF gains a "<br />"), for comparison: on a
// machine shared with other work the converter's figure means most next to this one.
void BM_PlainPass(benchmark::State& state)
{
    const QString body = generateBody(state.range(0), 0);
    const auto inputBytes = static_cast<double>(body.toUtf8().size());
    for (auto _ : state)
        benchmark::DoNotOptimize(
            QString(body).replace(QStringLiteral("\r\n"), QStringLiteral("<br />\r\n")));
    state.counters["MB/s"] =
        benchmark::Counter(inputBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PlainPass)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_ConvertPostBody)
    ->Args({100'000, 0})
    ->Args({1'000'000, 0})
    ->Args({10'000'000, 0})
    ->Args({10'000'000, 80})
    ->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
