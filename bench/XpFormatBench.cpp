// The string's formatting against the C library's snprintf of the same (narrow) text, both
// timed in the same iterations; the "ratio" counter is ours divided by the reference.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "foundation/text/XpString.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 64;

template <class Ours, class Reference>
void Compare(benchmark::State& state, Ours&& ours, Reference&& reference)
{
    Clock::duration oursTime{}, referenceTime{};
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < kRounds; ++i) ours(i);
        const auto middle = Clock::now();
        for (int i = 0; i < kRounds; ++i) reference(i);
        oursTime += middle - start;
        referenceTime += Clock::now() - middle;
    }
    state.counters["ratio"] = static_cast<double>(oursTime.count()) / static_cast<double>(referenceTime.count());
}

void ShortText(benchmark::State& state)
{
    XpString text;
    char narrow[256];
    Compare(
        state,
        [&](int i) {
            text.Format(XP_T("%s: %d of %u items, %.2f%% done (%I64d bytes)"), XP_T("Download"), i, 250u, 41.5,
                        int64_t{123456789});
            benchmark::DoNotOptimize(text.GetString());
        },
        [&](int i) {
            std::snprintf(narrow, sizeof(narrow), "%s: %d of %u items, %.2f%% done (%lld bytes)", "Download", i, 250u,
                          41.5, 123456789LL);
            benchmark::DoNotOptimize(narrow);
        });
}

void LongText(benchmark::State& state)
{
    const std::u16string wideLong(600, u'w');
    const XpString wide(reinterpret_cast<const XpChar*>(wideLong.c_str()));
    const std::string narrowLong(600, 'w');
    XpString text;
    char narrow[1024];
    Compare(
        state,
        [&](int i) {
            text.Format(XP_T("[%s] %08x"), wide.GetString(), i);
            benchmark::DoNotOptimize(text.GetString());
        },
        [&](int i) {
            std::snprintf(narrow, sizeof(narrow), "[%s] %08x", narrowLong.c_str(), i);
            benchmark::DoNotOptimize(narrow);
        });
}

}  // namespace

BENCHMARK(ShortText);
BENCHMARK(LongText);
