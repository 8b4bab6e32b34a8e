// Ways to find the signature in memory, over 64 MiB of generated level data: the scanner the
// engine uses against the standard searchers and memmem. Each must find the same number of
// signatures. Rerun with build/<dir>/bench/engine/signature_search_bench
#include "BenchData.h"

#include "engine/jpeg/SignatureScanner.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

namespace {

const std::string& data(std::uint64_t* images = nullptr)
{
    static std::uint64_t count = 0;
    static const std::string bytes = benchdata::makeLevelBytes(std::size_t{64} << 20, 7u, &count);
    if (images != nullptr)
        *images = count;
    return bytes;
}

const std::string& signature()
{
    static const std::string bytes(glintmark::kJfifSignature);
    return bytes;
}

template <typename FindNext> void countAll(benchmark::State& state, FindNext findNext)
{
    std::uint64_t expected = 0;
    const std::string& bytes = data(&expected);
    for (auto _ : state) {
        std::uint64_t found = 0;
        std::size_t from = 0;
        while ((from = findNext(bytes, from)) != std::string::npos) {
            ++found;
            ++from;
        }
        if (found != expected) {
            state.SkipWithError("wrong number of signatures");
            break;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes.size()));
}

void BM_EngineScanner(benchmark::State& state)
{
    const glintmark::SignatureScanner scanner(signature());
    countAll(state, [&](const std::string& bytes, std::size_t from) {
        const std::size_t end = bytes.size() - scanner.length() + 1;
        const std::size_t hit = scanner.find(bytes.data(), from, end);
        return hit == glintmark::SignatureScanner::npos ? std::string::npos : hit;
    });
}

void BM_StringFind(benchmark::State& state)
{
    countAll(state, [](const std::string& bytes, std::size_t from) {
        return bytes.find(signature(), from);
    });
}

template <typename Searcher> void searchWith(benchmark::State& state, const Searcher& searcher)
{
    countAll(state, [&](const std::string& bytes, std::size_t from) {
        const auto hit =
            std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), searcher);
        return hit == bytes.end() ? std::string::npos
                                  : static_cast<std::size_t>(hit - bytes.begin());
    });
}

void BM_DefaultSearcher(benchmark::State& state)
{
    searchWith(state, std::default_searcher(signature().begin(), signature().end()));
}

void BM_BoyerMooreHorspool(benchmark::State& state)
{
    searchWith(state, std::boyer_moore_horspool_searcher(signature().begin(), signature().end()));
}

void BM_BoyerMoore(benchmark::State& state)
{
    searchWith(state, std::boyer_moore_searcher(signature().begin(), signature().end()));
}

#ifdef __GLIBC__
void BM_Memmem(benchmark::State& state)
{
    countAll(state, [](const std::string& bytes, std::size_t from) {
        const void* hit = ::memmem(bytes.data() + from, bytes.size() - from, signature().data(),
                                   signature().size());
        return hit == nullptr
                   ? std::string::npos
                   : static_cast<std::size_t>(static_cast<const char*>(hit) - bytes.data());
    });
}
BENCHMARK(BM_Memmem)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_EngineScanner)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StringFind)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DefaultSearcher)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoyerMooreHorspool)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoyerMoore)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
