// Picture download speed over a pseudo-terminal.
//
// 1. A 200 KB preview in 1536-byte packets from a camera paced at 230400 baud (23,040 bytes/s on
//    the line): the effective rate as a fraction of the line rate. Every millisecond the client
//    loses between a packet's last byte and its Ack shows up here.
// 2. The same download unpaced, against a raw copy of the same bytes through the same
//    pseudo-terminal pair measured in the same run.
#include "app/link/CommPort.h"
#include "app/link/ProtocolLayer.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kPreviewBytes = 200 * 1024;
constexpr uint32_t kPacketSize = 1536;
constexpr double kLineBytesPerSecond = 23040.0;  // 230400 baud, 10 bits a byte

std::string Payload()
{
    std::string bytes(kPreviewBytes, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 13 + i / 977) & 0xFF);
    }
    return bytes;
}

// The camera end of the line: answers resynchronisation, Sync and GetImage, and sends the
// picture packet by packet as the client acknowledges them.
class Camera {
public:
    explicit Camera(bool paced) : m_bPaced(paced), m_payload(Payload())
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        grantpt(m_master);
        unlockpt(m_master);
        struct termios settings {};
        tcgetattr(m_master, &settings);
        cfmakeraw(&settings);
        tcsetattr(m_master, TCSANOW, &settings);
        m_path = ptsname(m_master);
        m_thread = std::thread(&Camera::Run, this);
    }

    ~Camera()
    {
        m_bStop = true;
        m_thread.join();
        ::close(m_master);
    }

    const std::string& Path() const { return m_path; }
    const std::string& PayloadBytes() const { return m_payload; }

private:
    void Write(const std::string& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            size_t chunk = bytes.size() - done;
            if (m_bPaced) {
                // The line is busy until m_lineFree; each chunk leaves when its bits would.
                chunk = std::min<size_t>(chunk, 64);
                const auto now = Clock::now();
                if (m_lineFree < now) {
                    m_lineFree = now;
                }
                std::this_thread::sleep_until(m_lineFree);
                m_lineFree += std::chrono::nanoseconds(static_cast<int64_t>(chunk * 1e9 / kLineBytesPerSecond));
            }
            const ssize_t n = ::write(m_master, bytes.data() + done, chunk);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else {
                struct pollfd pfd {m_master, POLLOUT, 0};
                ::poll(&pfd, 1, 10);
            }
        }
    }

    std::string Packet(uint32_t index) const
    {
        return m_payload.substr(static_cast<size_t>(index) * kPacketSize, kPacketSize);
    }

    void Handle(const std::string& command)
    {
        if (m_bPaced) {
            // The command itself took its time on the line too.
            m_lineFree = std::max(m_lineFree, Clock::now()) +
                         std::chrono::nanoseconds(static_cast<int64_t>(command.size() * 1e9 / kLineBytesPerSecond));
        }
        if (command.find("ReSyncRequest") != std::string::npos) {
            Write("^<ReSyncResponse />");
        } else if (command.find("RequestSync") != std::string::npos) {
            Write("^<Sync />");
        } else if (command.find("GetImage") != std::string::npos) {
            m_index = 0;
            Write("^<Ack ATTACHMENT=\"" + std::to_string(m_payload.size()) + "\" Size=\"" +
                  std::to_string(kPacketSize) + "\" />");
            Write(Packet(0));
        } else if (command.find("Ack") != std::string::npos) {
            if ((++m_index) * static_cast<size_t>(kPacketSize) < m_payload.size()) {
                Write(Packet(m_index));
            }
        } else if (command.find("Nak") != std::string::npos) {
            Write(Packet(m_index));
        }
    }

    void Run()
    {
        std::string pending;
        char chunk[512];
        while (!m_bStop) {
            struct pollfd pfd {m_master, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0 || (pfd.revents & POLLIN) == 0) {
                continue;
            }
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n <= 0) {
                continue;
            }
            pending.append(chunk, static_cast<size_t>(n));
            size_t end = 0;
            while ((end = pending.find("/>")) != std::string::npos) {
                const std::string command = pending.substr(0, end + 2);
                pending.erase(0, end + 2);
                Handle(command);
            }
        }
    }

    bool m_bPaced;
    std::string m_payload;
    int m_master = -1;
    std::string m_path;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    uint32_t m_index = 0;
    Clock::time_point m_lineFree = Clock::now();
};

void SetPrivateHome()
{
    static std::string home;
    if (home.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "orin-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            home = pattern;
            setenv("ORIN_HOME", home.c_str(), 1);
        }
    }
}

// Seconds for one GetImage of the preview; negative when the download failed.
double TimeDownload(bool paced)
{
    SetPrivateHome();
    Camera camera(paced);
    CCommPort port(camera.Path());
    CProtocolLayer layer(&port);
    layer.SetDecompress(false);
    if (!layer.Init() || !layer.IsInSync()) {
        return -1.0;
    }
    AttributeList attributes = {{u"file_name", u"./Part1/Folder/Pic0001.mos"}};
    ProtocolCommand answer;
    std::u16string error;
    const auto start = Clock::now();
    const bool ok = layer.GetImage(answer, attributes, error);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::string& expected = camera.PayloadBytes();
    if (!ok || answer.attachment.size() != expected.size() ||
        std::memcmp(answer.attachment.data(), expected.data(), expected.size()) != 0) {
        return -1.0;
    }
    return seconds;
}

// Seconds to push the preview's bytes raw through a pseudo-terminal pair, no protocol at all.
double TimeRawCopy()
{
    const std::string payload = Payload();
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master);
    unlockpt(master);
    struct termios settings {};
    tcgetattr(master, &settings);
    cfmakeraw(&settings);
    tcsetattr(master, TCSANOW, &settings);
    const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    const auto start = Clock::now();
    std::thread writer([&] {
        size_t done = 0;
        while (done < payload.size()) {
            const ssize_t n = ::write(master, payload.data() + done, payload.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            }
        }
    });
    std::string received(payload.size(), '\0');
    size_t got = 0;
    while (got < payload.size()) {
        const ssize_t n = ::read(slave, received.data() + got, payload.size() - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    ::close(slave);
    ::close(master);
    return seconds;
}

void BM_PacedPreviewDownload(benchmark::State& state)
{
    double fraction = 0.0;
    for (auto _ : state) {
        const double seconds = TimeDownload(true);
        if (seconds <= 0.0) {
            state.SkipWithError("download failed");
            return;
        }
        state.SetIterationTime(seconds);
        fraction = (static_cast<double>(kPreviewBytes) / seconds) / kLineBytesPerSecond;
    }
    state.counters["line_fraction"] = fraction;
    std::printf("Paced 230400 baud, 200 KB in 1536-byte packets: %.1f bytes/s = %.3f of the line rate (goal 0.95)\n",
                fraction * kLineBytesPerSecond, fraction);
}

void BM_UnpacedPreviewDownload(benchmark::State& state)
{
    double ratio = 0.0;
    for (auto _ : state) {
        const double raw = TimeRawCopy();
        const double seconds = TimeDownload(false);
        if (seconds <= 0.0) {
            state.SkipWithError("download failed");
            return;
        }
        state.SetIterationTime(seconds);
        ratio = raw / seconds;
        std::printf("Unpaced: download %.1f KB/s, raw pseudo-terminal copy %.1f KB/s, ratio %.3f\n",
                    kPreviewBytes / seconds / 1024.0, kPreviewBytes / raw / 1024.0, ratio);
    }
    state.counters["raw_ratio"] = ratio;
}

BENCHMARK(BM_PacedPreviewDownload)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnpacedPreviewDownload)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
