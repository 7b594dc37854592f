// orin-kx20: the program. One instance runs; a later start only signals it.
//
//   orin-kx20                      start, or bring the running instance to the front
//   orin-kx20 AppRunAfterWakeup    after the machine woke up: tell the running instance, else end
//   orin-kx20 --exit               ask the running instance to end and wait until it has
#include "app/DownloadDecodeHook.h"
#include "app/controller/AppLogger.h"
#include "app/controller/ControlApplication.h"
#include "app/controller/HeadlessViewProcessor.h"
#include "app/controller/ProtocolCameraLink.h"
#include "app/platform/InstanceChannel.h"
#include "app/platform/Log.h"
#include "app/platform/Paths.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

constexpr uint32_t kExitWaitMs = 30000;

void Usage(FILE* out)
{
    std::fprintf(out,
                 "usage: orin-kx20 [--home DIR] [--device PATH] [AppRunAfterWakeup | --exit]\n"
                 "  --home DIR          program folder (default $ORIN_HOME, else ~/.local/share/Orin KX-20)\n"
                 "  --device PATH       serial device of the camera (default: registry Serial\\Device, /dev/ttyUSB0)\n"
                 "  AppRunAfterWakeup   tell the running instance the machine woke up\n"
                 "  --exit              ask the running instance to end and wait for it\n");
}

// Hands SIGINT and SIGTERM to the controller as an ordinary exit request, so Ctrl-C closes the
// link and the log as the menu's exit does.
class SignalWatcher {
public:
    explicit SignalWatcher(std::function<void()> onSignal) : m_onSignal(std::move(onSignal))
    {
        BlockedSignals(m_set);
        m_thread = std::thread([this] {
            int sig = 0;
            while (sigwait(&m_set, &sig) == 0) {
                if (sig == SIGUSR1) {
                    return;
                }
                m_onSignal();
            }
        });
    }
    // Every thread must inherit the block, so main calls this before it starts any thread.
    static void BlockedSignals(sigset_t& set)
    {
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGUSR1);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
    }
    ~SignalWatcher()
    {
        pthread_kill(m_thread.native_handle(), SIGUSR1);
        m_thread.join();
    }
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    std::function<void()> m_onSignal;
    sigset_t m_set{};
    std::thread m_thread;
};

// Exit requests (Ctrl-C, SIGTERM, "orin-kx20 --exit") come from other threads at any moment, also
// while the program is still starting or already ending. The relay outlives every thread that
// calls it and keeps a request that arrives before the controller exists.
class ExitRelay {
public:
    void Request()
    {
        std::lock_guard lock(m_mutex);
        if (m_pApp != nullptr) {
            m_pApp->RequestExit();
        } else {
            m_bPending = true;
        }
    }
    // nullptr before the controller goes.
    void Attach(CControlApplication* app)
    {
        std::lock_guard lock(m_mutex);
        m_pApp = app;
        if (m_pApp != nullptr && m_bPending) {
            m_bPending = false;
            m_pApp->RequestExit();
        }
    }

private:
    std::mutex m_mutex;
    CControlApplication* m_pApp = nullptr;
    bool m_bPending = false;
};

}  // namespace

int main(int argc, char** argv)
{
    bool wakeup = false;
    bool exitRequest = false;
    std::string device;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "AppRunAfterWakeup") {
            wakeup = true;
        } else if (arg == "--exit") {
            exitRequest = true;
        } else if (arg == "--device" && i + 1 < argc) {
            device = argv[++i];
        } else if (arg == "--home" && i + 1 < argc) {
            setenv("ORIN_HOME", argv[++i], 1);
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "orin-kx20: unknown argument '%s'\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }

    if (exitRequest) {
        if (!platform::InstanceChannel::RequestExit(kExitWaitMs)) {
            std::fprintf(stderr, "orin-kx20: no running instance answered\n");
            return 1;
        }
        return 0;
    }

    if (wakeup) {
        // Woken with nothing running there is nobody to tell, and nothing to start.
        platform::InstanceChannel::Signal(platform::InstanceRequest::Wakeup);
        return 0;
    }

    sigset_t blocked;
    SignalWatcher::BlockedSignals(blocked);
    ExitRelay exitRelay;
    platform::InstanceChannel channel;
    if (!channel.Acquire()) {
        return platform::InstanceChannel::Signal(platform::InstanceRequest::Suspend) ? 0 : 1;
    }

    CAppLogger logger(platform::Paths::LogFile(), false, true);
    CAppLogger::Install(&logger);

    auto requestExit = [&exitRelay] { exitRelay.Request(); };
    channel.SetExitHandler(requestExit);
    SignalWatcher signals(requestExit);

    bool ok = false;
    {
        // Declared before the controller: the link's read thread calls it until the controller
        // has shut the link down.
        CDownloadDecodeHook decodeHook;
        CControlApplication app;
        // The camera link, the storage model over it, and views that need no screen.
        CProtocolCameraLink::Attach(app, device);
        if (auto* link = dynamic_cast<CProtocolCameraLink*>(app.CameraLink()); link != nullptr && app.StorageModel()) {
            decodeHook.Attach(link->Layer(), *app.StorageModel());
        }
        app.SetViewFactory([&app](ViewId id) { return std::make_unique<CHeadlessViewProcessor>(id, app); });
        exitRelay.Attach(&app);
        ok = app.Run();
        exitRelay.Attach(nullptr);
    }
    CAppLogger::Install(nullptr);
    return ok ? 0 : 1;
}
