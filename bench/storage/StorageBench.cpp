// Listing a folder of thousands of pictures, looking each of them up by full name, and one
// free-space pass over a cache of 10,000 previews. The lookups must grow no worse than linearly
// with the folder: the figure per lookup is printed for 500 and 5,000 pictures side by side.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/storage/Cache.h"
#include "app/storage/DiskCacheOp.h"
#include "app/storage/WideText.h"

namespace fs = std::filesystem;

namespace {

// A program folder of its own for the whole run.
class BenchHome {
public:
    BenchHome()
    {
        std::string pattern = (fs::temp_directory_path() / "orin-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
            setenv("ORIN_HOME", m_path.c_str(), 1);
        }
    }
    ~BenchHome()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    fs::path m_path;
};

std::u16string Listing(int pictures)
{
    std::u16string listing;
    for (int i = 0; i < pictures; ++i) {
        char item[64];
        std::snprintf(item, sizeof item, "F-Pic%05d.mos,2005:03:07:14:%02d:%02d;", i, (i / 60) % 60, i % 60);
        listing += storage::FromUtf8(item);
    }
    return listing;
}

std::vector<std::u16string> Names(int pictures)
{
    std::vector<std::u16string> names;
    for (int i = 0; i < pictures; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "./Part1/Folder/Pic%05d.mos", i);
        names.push_back(storage::FromUtf8(name));
    }
    return names;
}

// Lists a folder of n pictures into a fresh model; returns the folder node.
CDOSDirectory* ListFolder(CCache& cache, int pictures)
{
    cache.Add(u"./Part1/Folder/", false);
    auto* folder = static_cast<CDOSDirectory*>(cache.FindInTree(u"./Part1/Folder/"));
    cache.FindInTree(u"./")->SetCached(true);
    cache.FindInTree(u"./Part1/")->SetCached(true);
    folder->AddChilds(nullptr, Listing(pictures), u"./Part1/Folder/");
    folder->SetCached(true);
    return folder;
}

void BM_ListFolder(benchmark::State& state)
{
    const std::u16string listing = Listing(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CCache cache(nullptr);
        cache.Add(u"./Part1/Folder/", false);
        auto* folder = static_cast<CDOSDirectory*>(cache.FindInTree(u"./Part1/Folder/"));
        benchmark::DoNotOptimize(folder->AddChilds(nullptr, listing, u"./Part1/Folder/"));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LookUpEveryPicture(benchmark::State& state)
{
    const int pictures = static_cast<int>(state.range(0));
    CCache cache(nullptr);
    ListFolder(cache, pictures);
    const std::vector<std::u16string> names = Names(pictures);
    for (auto _ : state) {
        for (const std::u16string& name : names) {
            benchmark::DoNotOptimize(cache.Find(name, false, false));
        }
    }
    state.SetItemsProcessed(state.iterations() * pictures);
}

// A volume on which the cached previews take 30 % and everything else 55 %: a pass deletes
// previews, oldest first, down to 70 %. It counts the deletions instead of walking the disk.
class CountingVolume : public storage::IVolumeMeter {
public:
    CountingVolume(uint64_t files, uint64_t fileBytes) : m_files(files), m_fileBytes(fileBytes)
    {
        m_total = files * fileBytes * 100 / 30;
        m_base = m_total * 55 / 100;
    }
    bool Measure(const fs::path&, uint64_t& totalBytes, uint64_t& freeBytes) override
    {
        const uint64_t deleted = m_calls == 0 ? 0 : m_calls - 1;
        ++m_calls;
        totalBytes = m_total;
        freeBytes = m_total - m_base - (m_files - std::min(deleted, m_files)) * m_fileBytes;
        return true;
    }

private:
    uint64_t m_files;
    uint64_t m_fileBytes;
    uint64_t m_total = 0;
    uint64_t m_base = 0;
    uint64_t m_calls = 0;
};

void BM_CacheFreeSpace10000(benchmark::State& state)
{
    constexpr int kFiles = 10000;
    for (auto _ : state) {
        state.PauseTiming();
        storage::DiskCacheOp::ClearLocalCache();
        const fs::path root = storage::DiskCacheOp::CacheRoot();
        for (int i = 0; i < kFiles; ++i) {
            const fs::path folder = root / ("Folder" + std::to_string(i % 20));
            fs::create_directories(folder);
            const fs::path file = folder / ("Pic" + std::to_string(i) + ".jpg");
            std::ofstream(file) << "x";
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "2005:%02d:%02d:%02d:%02d:00", 1 + i % 12, 1 + i % 28, i % 24, i % 60);
            storage::DiskCacheOp::StampFile(file, storage::FromUtf8(stamp));
        }
        CountingVolume volume(kFiles, 4096);
        state.ResumeTiming();
        benchmark::DoNotOptimize(storage::DiskCacheOp::CacheFreeSpace(70, 80, volume));
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

BENCHMARK(BM_ListFolder)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookUpEveryPicture)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheFreeSpace10000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Nanoseconds per lookup when every picture of a folder of n is looked up once.
double LookupNanoseconds(int pictures)
{
    CCache cache(nullptr);
    ListFolder(cache, pictures);
    const std::vector<std::u16string> names = Names(pictures);
    const auto start = std::chrono::steady_clock::now();
    constexpr int kRounds = 5;
    for (int round = 0; round < kRounds; ++round) {
        for (const std::u16string& name : names) {
            benchmark::DoNotOptimize(cache.Find(name, false, false));
        }
    }
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    return ns / (static_cast<double>(pictures) * kRounds);
}

}  // namespace

int main(int argc, char** argv)
{
    BenchHome home;
    storage::DiskCacheOp::EnsureCacheRoot();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double small = LookupNanoseconds(500);
    const double large = LookupNanoseconds(5000);
    std::printf("lookup by full name, per picture: 500 pictures %.0f ns, 5000 pictures %.0f ns, ratio %.2f "
                "(1.0 = linear total; 10 = quadratic)\n",
                small, large, large / small);
    return 0;
}
