// Picture download speed of the link code against the simulated camera on a pseudo-terminal.
//
// PacedDownload: a 200 KB preview in 1536-byte packets from a camera paced at 230400 baud;
// reports the effective rate as a fraction of the line rate (230400 / 10 = 23,040 bytes/s).
// Goal: at least 0.95.
// UnpacedDownload: the same download with no pacing, against a raw copy of as many bytes through
// the same pseudo-terminal pair measured in the same run; reports both rates and their ratio.
#include "app/link/CommPort.h"
#include "app/link/ProtocolLayer.h"
#include "app/platform/TextConvert.h"
#include "tests/support/TestSupport.h"
#include "tools/camsim/SimCamera.h"
#include "tools/camsim/SimPictures.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kLineBytesPerSecond = 230400.0 / 10.0;
constexpr size_t kPreviewBytes = 200 * 1024;

class Rig {
public:
    explicit Rig(int baud)
    {
        m_sim.Disk().Open(m_home.Path());
        m_name = m_sim.Disk().AddPicture("./Part1/Bench/", camsim::SimPictures::JpegOfSize(kPreviewBytes));
        m_sim.Link().SetBaud(baud);
        m_sim.Link().OpenPty(m_home.Path() / "tty");
        m_sim.Start();
        m_port = std::make_unique<CCommPort>(m_sim.Link().Path(), 230400);
        m_layer = std::make_unique<CProtocolLayer>(m_port.get());
        m_layer->SetDecompress(false);
        m_layer->SetPacketSize(1536);
        m_bReady = m_layer->Init() && m_layer->IsInSync();
    }

    ~Rig()
    {
        CloseClient();
        m_sim.Stop();
        m_sim.Link().Close();
    }

    bool Ready() const { return m_bReady; }

    // Bytes of the preview, 0 on failure.
    size_t Download()
    {
        AttributeList attributes;
        attributes.emplace_back(u"file_name", platform::FromUtf8(m_name));
        ProtocolCommand answer;
        std::u16string errorText;
        if (!m_layer->GetImage(answer, attributes, errorText)) {
            return 0;
        }
        return answer.attachmentSize();
    }

    void CloseClient()
    {
        m_layer.reset();
        m_port.reset();
    }

    // Seconds to move count bytes from the camera's end to a plain reader of the same pty.
    double RawCopySeconds(size_t count)
    {
        CloseClient();
        m_sim.Stop();  // the camera's thread no longer owns the line; this thread writes
        m_sim.Link().ClearAbort();
        int fd = ::open(m_sim.Link().Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            return 0;
        }
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
        std::vector<uint8_t> bytes(count, 0x5A);
        auto start = Clock::now();
        std::thread writer([&] { m_sim.Link().Write(bytes.data(), bytes.size()); });
        size_t got = 0;
        std::vector<uint8_t> buffer(65536);
        while (got < count) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) {
                break;
            }
            ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n > 0) {
                got += static_cast<size_t>(n);
            }
        }
        auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
        writer.join();
        ::close(fd);
        return got == count ? seconds : 0;
    }

private:
    testsupport::TempHome m_home;
    camsim::SimCamera m_sim;
    std::string m_name;
    std::unique_ptr<CCommPort> m_port;
    std::unique_ptr<CProtocolLayer> m_layer;
    bool m_bReady = false;
};

void PacedDownload(benchmark::State& state)
{
    Rig rig(230400);
    if (!rig.Ready()) {
        state.SkipWithError("no link to the simulator");
        return;
    }
    size_t bytes = 0;
    double seconds = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        bytes = rig.Download();
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
    }
    if (bytes == 0) {
        state.SkipWithError("download failed");
        return;
    }
    double rate = static_cast<double>(bytes) / seconds;
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["bytes_per_s"] = rate;
    state.counters["line_fraction"] = rate / kLineBytesPerSecond;
    std::printf("paced 230400 baud: %zu bytes in %.2f s = %.0f bytes/s = %.3f of the line rate "
                "(23040 bytes/s; goal >= 0.95)\n",
                bytes, seconds, rate, rate / kLineBytesPerSecond);
    std::fflush(stdout);
}

void UnpacedDownload(benchmark::State& state)
{
    Rig rig(0);
    if (!rig.Ready()) {
        state.SkipWithError("no link to the simulator");
        return;
    }
    size_t bytes = 0;
    double total = 0;
    int runs = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        bytes = rig.Download();
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        ++runs;
    }
    if (bytes == 0 || runs == 0) {
        state.SkipWithError("download failed");
        return;
    }
    double downloadRate = static_cast<double>(bytes) * runs / total;
    double rawSeconds = rig.RawCopySeconds(bytes);
    if (rawSeconds <= 0) {
        state.SkipWithError("raw copy failed");
        return;
    }
    double rawRate = static_cast<double>(bytes) / rawSeconds;
    state.counters["download_bytes_per_s"] = downloadRate;
    state.counters["raw_bytes_per_s"] = rawRate;
    state.counters["download_to_raw"] = downloadRate / rawRate;
    std::printf("unpaced pty: download %.0f bytes/s (1536-byte packets, %d runs), raw copy %.0f bytes/s "
                "through the same pty pair, ratio %.3f\n",
                downloadRate, runs, rawRate, downloadRate / rawRate);
    std::fflush(stdout);
}

}  // namespace

BENCHMARK(PacedDownload)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(UnpacedDownload)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
