// orin-camsim: the camera back on a pseudo-terminal or a serial device, driven from stdin.
//
//   orin-camsim [--pty] [--link PATH] [--device PATH] [--disk DIR] [--baud N]
//               [--fault SPEC]... [--preview WxH] [--stay] [--verbose]
//
// stdout: "PTY <path>" (or "DEVICE <path>") first, then "DISK <folder>", then "READY", then one
// result line ("OK ..." / "ERR ...") for every stdin command. stdin commands: shoot [scene],
// burst N (N pictures announced back to back), newdisk (another card: a new DiskID), busy, unplug, plug, fault KIND [key=value]..., fault clear, baud N, status, help, quit. End of stdin
// quits unless --stay is given (then SIGINT or SIGTERM quits).
#include "tools/camsim/SimCamera.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t g_bSignalled = 0;

void OnSignal(int) { g_bSignalled = 1; }

void Usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: orin-camsim [--pty] [--link PATH] [--device PATH] [--disk DIR] [--baud N]\n"
                 "                   [--fault SPEC]... [--preview WxH] [--stay] [--verbose]\n"
                 "  --pty          play the camera on a new pseudo-terminal (the default); the path to\n"
                 "                 open is a stable link printed as \"PTY <path>\"\n"
                 "  --link PATH    where to put that link (default: a new temporary folder)\n"
                 "  --device PATH  play the camera on a serial device instead\n"
                 "  --disk DIR     serve DIR as the camera's disk (top-level folders are partitions,\n"
                 "                 JPEG files are pictures shown as NAME.mos); an empty or missing DIR\n"
                 "                 is filled with the demo disk; without it a temporary demo disk is used\n"
                 "  --baud N       pace the output to N baud, 10 bits a byte (0 = unpaced, the default)\n"
                 "  --fault SPEC   arm a fault, e.g. short:bytes=10 or error:code=3,cmd=GetImage\n"
                 "  --preview WxH  size of the previews of new shots (default 320x240)\n"
                 "  --stay         keep running at the end of stdin\n"
                 "  --verbose      every message in and out on stderr\n");
}

bool IsEmptyOrMissing(const fs::path& dir)
{
    std::error_code ec;
    if (!fs::exists(dir, ec)) {
        return true;
    }
    return fs::is_directory(dir, ec) && fs::is_empty(dir, ec);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string device;
    std::string link;
    std::string disk;
    int baud = 0;
    int previewWidth = 320;
    int previewHeight = 240;
    bool stay = false;
    bool verbose = false;
    std::vector<std::string> faults;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "orin-camsim: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--pty") {
            device.clear();
        } else if (arg == "--link") {
            link = value("--link");
        } else if (arg == "--device") {
            device = value("--device");
        } else if (arg == "--disk") {
            disk = value("--disk");
        } else if (arg == "--baud") {
            char* end = nullptr;
            const char* text = value("--baud");
            long parsed = std::strtol(text, &end, 10);
            if (end == text || *end != '\0' || parsed < 0 || parsed > 10000000) {
                std::fprintf(stderr, "orin-camsim: bad baud rate: %s\n", text);
                return 2;
            }
            baud = static_cast<int>(parsed);
        } else if (arg == "--fault") {
            faults.emplace_back(value("--fault"));
        } else if (arg == "--preview") {
            const char* text = value("--preview");
            if (std::sscanf(text, "%dx%d", &previewWidth, &previewHeight) != 2 || previewWidth <= 0 ||
                previewHeight <= 0 || previewWidth > 8192 || previewHeight > 8192) {
                std::fprintf(stderr, "orin-camsim: bad preview size: %s\n", text);
                return 2;
            }
        } else if (arg == "--stay") {
            stay = true;
        } else if (arg == "--verbose") {
            verbose = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "orin-camsim: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }

    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);

    camsim::SimCamera camera;
    camera.SetPreviewSize(previewWidth, previewHeight);
    for (const std::string& spec : faults) {
        std::string error;
        std::optional<camsim::SimFault> fault = camsim::SimFaults::Parse(spec, error);
        if (!fault) {
            std::fprintf(stderr, "orin-camsim: %s\n", error.c_str());
            return 2;
        }
        camera.Faults().Arm(*fault);
    }

    fs::path tempDisk;
    bool diskReady = false;
    if (disk.empty()) {
        std::string pattern = (fs::temp_directory_path() / "orin-camsim-disk-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "orin-camsim: cannot create a temporary disk: %s\n", std::strerror(errno));
            return 3;
        }
        tempDisk = pattern;
        diskReady = camera.Disk().CreateDemo(tempDisk);
    } else if (IsEmptyOrMissing(disk)) {
        diskReady = camera.Disk().CreateDemo(disk);
    } else {
        diskReady = camera.Disk().Open(disk);
    }
    auto cleanup = [&]() {
        if (!tempDisk.empty()) {
            std::error_code ec;
            fs::remove_all(tempDisk, ec);
        }
    };
    if (!diskReady) {
        std::fprintf(stderr, "orin-camsim: cannot serve the disk %s\n", disk.empty() ? tempDisk.c_str() : disk.c_str());
        cleanup();
        return 3;
    }

    camera.Link().SetBaud(baud);
    bool opened = device.empty() ? camera.Link().OpenPty(link) : camera.Link().OpenDevice(device, baud);
    if (!opened) {
        std::fprintf(stderr, "orin-camsim: cannot open %s\n", device.empty() ? "a pseudo-terminal" : device.c_str());
        cleanup();
        return 3;
    }
    std::mutex outputMutex;
    if (verbose) {
        camera.SetEventSink([&outputMutex](const std::string& note) {
            std::lock_guard<std::mutex> lock(outputMutex);
            std::fprintf(stderr, "camsim: %s\n", note.c_str());
        });
    }
    if (!camera.Start()) {
        std::fprintf(stderr, "orin-camsim: cannot start the camera\n");
        cleanup();
        return 3;
    }
    {
        std::lock_guard<std::mutex> lock(outputMutex);
        std::printf("%s %s\n", device.empty() ? "PTY" : "DEVICE", camera.Link().Path().c_str());
        std::printf("DISK %s\n", camera.Disk().Root().c_str());
        std::printf("READY\n");
        std::fflush(stdout);
    }

    std::string pending;
    bool stdinOpen = true;
    while (!g_bSignalled && camera.IsRunning()) {
        if (!stdinOpen) {
            if (!stay) {
                break;
            }
            poll(nullptr, 0, 200);
            continue;
        }
        pollfd in{STDIN_FILENO, POLLIN, 0};
        int ready = poll(&in, 1, 200);
        if (ready <= 0) {
            continue;
        }
        char buffer[1024];
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            stdinOpen = false;
            continue;
        }
        pending.append(buffer, static_cast<size_t>(n));
        size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            if (line.empty() || line[0] == '#') {
                continue;
            }
            std::string result = camera.Command(line);
            std::lock_guard<std::mutex> lock(outputMutex);
            std::printf("%s\n", result.c_str());
            std::fflush(stdout);
        }
    }
    camera.Stop();
    camera.Link().Close();
    cleanup();
    return 0;
}
