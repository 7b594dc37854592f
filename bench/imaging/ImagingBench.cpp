// Decode and display-transform speed of preview-sized pictures, each against a reference measured
// in the same run: our decode against TurboJPEG decompressing the same bytes into the same layout
// (goal: within 1.1x), and the display transform against our decode of the same picture (goal:
// no slower, ratio <= 1.0).
#include "app/imaging/DitherRiemersma.h"
#include "app/imaging/loadjpeg.h"
#include "tests/imaging/JpegFixtures.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#ifdef ORIN_HAVE_TURBOJPEG
#include <turbojpeg.h>
#endif

namespace {

struct Preview {
    int width;
    int height;
    std::vector<uint8_t> jpeg;
};

const Preview& GetPreview(int width, int height)
{
    static std::map<std::pair<int, int>, Preview> previews;
    auto it = previews.find({width, height});
    if (it == previews.end()) {
        it = previews.emplace(std::make_pair(width, height), Preview{width, height, testjpeg::Encode(width, height)}).first;
    }
    return it->second;
}

void BM_LoadJpeg(benchmark::State& state)
{
    const Preview& preview = GetPreview(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto dib = imaging::LoadJpeg(preview.jpeg.data(), preview.jpeg.size());
        if (!dib) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(dib->Bits());
    }
}

#ifdef ORIN_HAVE_TURBOJPEG
void BM_TurboJpeg(benchmark::State& state)
{
    const Preview& preview = GetPreview(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    tjhandle handle = tjInitDecompress();
    const int pitch = (preview.width * 3 + 3) / 4 * 4;
    for (auto _ : state) {
        // A fresh buffer per picture, as our decode allocates its bitmap each time.
        std::vector<unsigned char> pixels(static_cast<size_t>(pitch) * static_cast<size_t>(preview.height));
        if (tjDecompress2(handle, preview.jpeg.data(), static_cast<unsigned long>(preview.jpeg.size()), pixels.data(),
                          preview.width, pitch, preview.height, TJPF_BGR, TJFLAG_BOTTOMUP) != 0) {
            state.SkipWithError(tjGetErrorStr2(handle));
            break;
        }
        benchmark::DoNotOptimize(pixels.data());
    }
    tjDestroy(handle);
}
#endif

void BM_DisplayTransform(benchmark::State& state)
{
    const Preview& preview = GetPreview(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    auto dib = imaging::LoadJpeg(preview.jpeg.data(), preview.jpeg.size());
    const imaging::CDitherRiemersma& transform = imaging::CDitherRiemersma::Instance();
    for (auto _ : state) {
        // Running over its own output costs the same as over a fresh picture: every pixel is
        // looked up and dithered once either way.
        transform.Run(*dib);
        benchmark::DoNotOptimize(dib->Bits());
    }
}

BENCHMARK(BM_LoadJpeg)->Args({640, 480})->Args({1600, 1200})->Unit(benchmark::kMillisecond);
#ifdef ORIN_HAVE_TURBOJPEG
BENCHMARK(BM_TurboJpeg)->Args({640, 480})->Args({1600, 1200})->Unit(benchmark::kMillisecond);
#endif
BENCHMARK(BM_DisplayTransform)->Args({640, 480})->Args({1600, 1200})->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            // Processor time: on a shared machine wall time mostly measures the neighbours. With
            // repetitions, their mean stands for the benchmark.
            const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
            if ((run.run_type == Run::RT_Iteration || mean) && !run.error_occurred) {
                m_times[run.run_name.str()] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatio(const char* what, const std::string& measured, const std::string& reference, double goal) const
    {
        const auto m = m_times.find(measured);
        const auto r = m_times.find(reference);
        if (m == m_times.end() || r == m_times.end() || r->second <= 0) {
            std::printf("%-44s not measured\n", what);
            return;
        }
        const double ratio = m->second / r->second;
        std::printf("%-44s %6.3f  (goal <= %.2f: %s)\n", what, ratio, goal, ratio <= goal ? "met" : "NOT met");
    }

private:
    std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // The transform measured is the program's own: its device model comes from this machine, and
    // whether the colour tables are applied decides most of the per-pixel lookups.
    const imaging::CDitherRiemersma& transform = imaging::CDitherRiemersma::Instance();
    std::printf("\nDisplay transform: device model %d, colour tables %s\n", transform.ColourTables().DeviceModel(),
                transform.IsColourCorrected() ? "applied" : "not applied (dithering only)");
    std::printf("\nRatios of processor time (same run):\n");
    for (const char* size : {"640/480", "1600/1200"}) {
        const std::string s(size);
        reporter.PrintRatio(("decode " + s + ": LoadJpeg / TurboJPEG").c_str(), "BM_LoadJpeg/" + s, "BM_TurboJpeg/" + s, 1.10);
        reporter.PrintRatio(("display " + s + ": transform / LoadJpeg").c_str(), "BM_DisplayTransform/" + s,
                            "BM_LoadJpeg/" + s, 1.00);
    }
    benchmark::Shutdown();
    return 0;
}
