// orin-camsim as other programs use it: the first stdout line names the port, stdin drives the
// camera, options arm faults and pick the disk, the end of stdin ends it and cleans up.
#include "tests/camsim/SimTestClient.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using camsimtest::SimTestClient;

namespace {

class CamsimProcess {
public:
    explicit CamsimProcess(std::vector<std::string> args)
    {
        args.insert(args.begin(), (testsupport::BuildDir() / "tools" / "camsim" / "orin-camsim").string());
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        m_in = in[1];
        m_out = out[0];
    }

    ~CamsimProcess()
    {
        CloseInput();
        if (m_pid > 0 && Wait(5000) < 0) {
            kill(m_pid, SIGKILL);
            Wait(5000);
        }
        if (m_out >= 0) {
            close(m_out);
        }
    }

    // One stdout line without its newline, or "" after ms of silence.
    std::string Line(int ms = 10000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (true) {
            size_t newline = m_buffer.find('\n');
            if (newline != std::string::npos) {
                std::string line = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                return line;
            }
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            deadline - std::chrono::steady_clock::now())
                                            .count());
            pollfd fd{m_out, POLLIN, 0};
            if (left <= 0 || poll(&fd, 1, left) <= 0) {
                return "";
            }
            char buffer[1024];
            ssize_t n = read(m_out, buffer, sizeof buffer);
            if (n <= 0) {
                return "";
            }
            m_buffer.append(buffer, static_cast<size_t>(n));
        }
    }

    std::string Ask(const std::string& command)
    {
        std::string line = command + "\n";
        if (write(m_in, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            return "";
        }
        return Line();
    }

    void CloseInput()
    {
        if (m_in >= 0) {
            close(m_in);
            m_in = -1;
        }
    }

    int Wait(int ms)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

}  // namespace

TEST(CamsimProgram, FirstLineNamesThePortAndTheCameraAnswersOnIt)
{
    testsupport::TempHome home;
    CamsimProcess sim({"--disk", (home.Path() / "disk").string()});
    std::string first = sim.Line();
    ASSERT_EQ(first.rfind("PTY ", 0), 0u) << first;
    std::string path = first.substr(4);
    EXPECT_EQ(sim.Line(), "DISK " + fs::canonical(home.Path() / "disk").string());
    EXPECT_EQ(sim.Line(), "READY");
    // An empty disk folder is filled with the demo disk.
    EXPECT_TRUE(fs::is_directory(home.Path() / "disk" / "Part2" / "Archive" / "2026"));

    SimTestClient client(path);
    ASSERT_TRUE(client.IsOpen());
    ASSERT_TRUE(client.Write("^<ReSyncRequest />"));
    EXPECT_EQ(client.ReadMessage(), "^<ReSyncResponse />");
    std::string shot = sim.Ask("shoot clipped");
    EXPECT_EQ(shot.rfind("OK shoot ./Part1/Folder/Pic", 0), 0u) << shot;
    EXPECT_EQ(client.ReadMessage().rfind("^<PictureTaken file_name=\"" + shot.substr(9) + "\"", 0), 0u);
    EXPECT_EQ(sim.Ask("dance").rfind("ERR ", 0), 0u);
    EXPECT_EQ(sim.Ask("quit"), "OK quit");
    EXPECT_EQ(sim.Wait(10000), 0);
    // The port's link folder goes with the program.
    EXPECT_FALSE(fs::exists(path));
}

TEST(CamsimProgram, FaultFromTheCommandLineIsCommitted)
{
    testsupport::TempHome home;
    CamsimProcess sim({"--disk", (home.Path() / "disk").string(), "--fault", "error:code=4,cmd=RequestSync"});
    std::string path = sim.Line().substr(4);
    sim.Line();
    sim.Line();
    SimTestClient client(path);
    ASSERT_TRUE(client.Write("^<RequestSync />"));
    EXPECT_EQ(client.ReadMessage(), "^<Error error_code=\"4\" />");
}

TEST(CamsimProgram, EndOfInputQuitsAndATemporaryDiskIsRemoved)
{
    CamsimProcess sim({});
    std::string path = sim.Line().substr(4);
    std::string disk = sim.Line().substr(5);
    ASSERT_TRUE(fs::is_directory(disk));
    sim.CloseInput();
    EXPECT_EQ(sim.Wait(10000), 0);
    EXPECT_FALSE(fs::exists(disk));
    EXPECT_FALSE(fs::exists(path));
}

TEST(CamsimProgram, BadOptionsAreUsageErrors)
{
    for (std::vector<std::string> args : {std::vector<std::string>{"--baud", "fast"}, {"--fault", "explode"},
                                          {"--preview", "0x0"}, {"--frobnicate"}}) {
        CamsimProcess sim(args);
        EXPECT_EQ(sim.Wait(10000), 2) << args[0];
    }
}
