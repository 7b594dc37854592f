// Filling and sorting the current directory for a folder of 500 and of 5,000 pictures. Google
// Benchmark fits the growth (the "BigO" line): it should stay near n log n, never n squared.
//
// The folder is the local picture cache as the program finds it without a camera: one preview
// per picture, stamped with its capture time.
#include "app/controller/Configuration.h"
#include "app/controller/ControlApplication.h"
#include "app/controller/DirectoryComparator.h"
#include "app/platform/Paths.h"
#include "app/storage/DiskCacheOp.h"
#include "app/storage/ObjectNames.h"
#include "tests/support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <memory>
#include <random>

namespace {

// One folder of n cached previews per size, made once for the whole run.
class Folder {
public:
    explicit Folder(int n)
    {
        CConfiguration().WriteWorkingPath(u"./Part1/Folder/");
        const std::filesystem::path dir = platform::Paths::CapturesFolder() / "Part1" / "Folder";
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::mt19937 random(static_cast<unsigned>(n));
        for (int i = 0; i < n; ++i) {
            char name[32];
            std::snprintf(name, sizeof(name), "%sPic%05u.jpg", (random() % 7 == 0) ? "~" : "",
                          static_cast<unsigned>(random() % 100000));
            const std::filesystem::path file = dir / name;
            std::ofstream(file) << "jpeg";
            const storage::TimeFields stamp{2005, 1 + static_cast<int>(random() % 12), 1 + static_cast<int>(random() % 28),
                                            static_cast<int>(random() % 24), static_cast<int>(random() % 60), 0};
            storage::DiskCacheOp::StampFile(file, storage::FormatTimeStamp(stamp));
        }
    }
};

testsupport::TempHome& Home()
{
    static testsupport::TempHome home;
    return home;
}

void Prepare(int n)
{
    static std::map<int, std::unique_ptr<Folder>> folders;
    Home();
    static int current = -1;
    if (current != n) {
        folders.clear();
        folders[n] = std::make_unique<Folder>(n);
        current = n;
    }
}

void FillAndSort(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Prepare(n);
    CControlApplication app;
    for (auto _ : state) {
        app.FillCurrentDirectory(0, 0, -1, false, true);
        app.SortCurrentDirectory(SORT_BY_DATE, true);
        app.SortCurrentDirectory(SORT_BY_MARK, true);
        benchmark::DoNotOptimize(app.CurrentDirectory().GetArrLength());
    }
    state.SetComplexityN(n);
    state.counters["pictures"] = app.CurrentDirectory().GetArrLength();
}

void SortOnly(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Prepare(n);
    CControlApplication app;
    app.FillCurrentDirectory(0, 0, -1, false, true);
    int32_t criterion = SORT_BY_NAME;
    for (auto _ : state) {
        criterion = (criterion + 1) % 3;
        app.SortCurrentDirectory(criterion, true);
        benchmark::DoNotOptimize(app.CurrentIndex());
    }
    state.SetComplexityN(n);
}

}  // namespace

BENCHMARK(FillAndSort)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);
BENCHMARK(SortOnly)->Arg(500)->Arg(5000)->Unit(benchmark::kMicrosecond)->Complexity(benchmark::oNLogN);

BENCHMARK_MAIN();
