// Encoding and decoding 65,000 characters of clean Japanese text, of text that
// has no CP932 form, and of bytes that are no valid CP932. Every case must run
// at the codec's normal per-character speed: a hostile server reply or a
// pasted text of such characters must not cost more than clean text does.
#include "base/Cp932.h"

#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype kChars = 65000;

QString repeated(const QString& unit)
{
    QString text;
    text.reserve(kChars + unit.size());
    while (text.size() < kChars)
        text += unit;
    return text.left(kChars);
}

QByteArray repeatedBytes(QByteArrayView unit)
{
    QByteArray bytes;
    while (bytes.size() < kChars)
        bytes.append(unit);
    return bytes.left(kChars);
}

void encode(benchmark::State& state, const QString& text)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Cp932::encode(text));
    state.SetItemsProcessed(state.iterations() * text.size());
}

void decode(benchmark::State& state, const QByteArray& bytes)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Cp932::decode(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void EncodeAscii(benchmark::State& state)
{
    encode(state, repeated(QStringLiteral("pop.example.jp ")));
}

void EncodeJapanese(benchmark::State& state)
{
    encode(state, repeated(QStringLiteral("表ソ能パスワード①～髙ｱｲｳ abc ")));
}

void EncodeUnencodable(benchmark::State& state)
{
    encode(state, repeated(QStringLiteral("éöñ")));
}

void EncodeOutsideTheBmp(benchmark::State& state)
{
    encode(state, repeated(QStringLiteral("😀")));
}

void DecodeAscii(benchmark::State& state)
{
    decode(state, repeatedBytes("pop.example.jp "));
}

void DecodeJapanese(benchmark::State& state)
{
    decode(state, repeatedBytes(Cp932::encode(QStringLiteral("表ソ能パスワード①～髙ｱｲｳ abc "))));
}

void DecodeInvalid(benchmark::State& state)
{
    // Lead bytes before bytes that cannot follow them, and bytes that start nothing.
    decode(state, repeatedBytes("\x81\x31\x85\x40\xFF\x80"));
}

} // namespace

BENCHMARK(EncodeAscii);
BENCHMARK(EncodeJapanese);
BENCHMARK(EncodeUnencodable)->Unit(benchmark::kMillisecond);
BENCHMARK(EncodeOutsideTheBmp)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeAscii);
BENCHMARK(DecodeJapanese);
BENCHMARK(DecodeInvalid)->Unit(benchmark::kMillisecond);
