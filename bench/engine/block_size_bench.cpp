// The whole run over a generated, page-cached level database, for a range of block sizes:
// writing every image, and only listing them. Rerun with
//   build/<dir>/bench/engine/block_size_bench [--benchmark_repetitions=5]
// GLINTMARK_BENCH_MB sets the level's size (default 256), GLINTMARK_BENCH_DIR its folder
// (default /dev/shm/glintmark-bench, removed again at the end).
#include "BenchData.h"

#include "engine/Extraction.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

const benchdata::Level& level()
{
    static const benchdata::Level generated =
        benchdata::prepareLevel(benchdata::benchFolder(), benchdata::levelBytes());
    return generated;
}

void runOnce(benchmark::State& state, glintmark::RunMode mode)
{
    const benchdata::Level& source = level();
    const fs::path out = benchdata::benchFolder() / "out";
    fs::create_directories(out);
    glintmark::ExtractJob job;
    job.sourceFile = source.file;
    job.outputFolder = out;
    job.blockSize = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        const glintmark::ExtractResult result = glintmark::runExtraction(job, nullptr, mode);
        if (result.status != glintmark::RunStatus::Completed || result.count != source.images) {
            state.SkipWithError(result.error ? result.error->message.c_str() : "wrong count");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(source.size));
    state.counters["images"] = static_cast<double>(source.images);
}

void BM_ExtractWrite(benchmark::State& state)
{
    runOnce(state, glintmark::RunMode::Write);
}

void BM_ExtractListOnly(benchmark::State& state)
{
    runOnce(state, glintmark::RunMode::ListOnly);
}

void blockSizes(benchmark::internal::Benchmark* bench)
{
    bench->Arg(1000);
    for (std::int64_t size = 4 << 10; size <= (16 << 20); size *= 2)
        bench->Arg(size);
    bench->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
}

BENCHMARK(BM_ExtractWrite)->Apply(blockSizes);
BENCHMARK(BM_ExtractListOnly)->Apply(blockSizes);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(benchdata::benchFolder() / "out", ec);
    fs::remove(benchdata::benchFolder() / "level.ldb", ec);
    fs::remove(benchdata::benchFolder(), ec); // only if nothing else is left in it
    return 0;
}
