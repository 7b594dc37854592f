// The program as a user starts it: one instance, later starts only signal it, --exit ends it.
#include "app/platform/Registry.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::filesystem::path ProgramPath() { return testsupport::BuildDir() / "app" / "orin-kx20"; }

std::string ReadFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t Start(const std::vector<std::string>& args)
{
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        std::string program = ProgramPath().string();
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Exit status of a run that must end by itself within the limit; -1 when it did not.
int WaitFor(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

int RunProgram(const std::vector<std::string>& args) { return WaitFor(Start(args), std::chrono::seconds(30)); }

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        runtime = home.Path() / "run";
        std::filesystem::create_directories(runtime);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        platform::DefaultRegistry().WriteDword(platform::RegistryRoot::LocalMachine,
                                               std::string(platform::kOrinRootKey) + "\\Log", "Level", 3);
    }
    void TearDown() override
    {
        if (first > 0 && WaitFor(first, std::chrono::milliseconds(0)) == -1) {
            kill(first, SIGKILL);
            waitpid(first, nullptr, 0);
        }
        unsetenv("XDG_RUNTIME_DIR");
    }

    // Starts the first instance and waits until its controller pumps messages.
    void StartFirst()
    {
        first = Start({});
        const auto log = home.Path() / "log.txt";
        for (int i = 0; i < 500; ++i) {
            if (ReadFile(log).find("Before WaitForSingleObject(m_hExitEvent, INFINITE)") != std::string::npos) {
                return;
            }
            ASSERT_EQ(WaitFor(first, std::chrono::milliseconds(0)), -1) << "the first instance ended early";
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        FAIL() << "the first instance never reached its message loop";
    }

    testsupport::TempHome home;
    std::filesystem::path runtime;
    pid_t first = -1;
};

TEST_F(Program, WakeupStartWithNothingRunningEndsAtOnceWithoutALog)
{
    EXPECT_EQ(RunProgram({"AppRunAfterWakeup"}), 0);
    EXPECT_FALSE(std::filesystem::exists(home.Path() / "log.txt"));
}

TEST_F(Program, ExitWithNothingRunningSaysSoAndFails)
{
    EXPECT_EQ(RunProgram({"--exit"}), 1);
}

TEST_F(Program, SecondStartSignalsTheRunningInstanceAndEnds)
{
    StartFirst();
    EXPECT_EQ(RunProgram({}), 0);
    EXPECT_EQ(RunProgram({"AppRunAfterWakeup"}), 0);
    // The first instance took both requests and still runs.
    EXPECT_EQ(WaitFor(first, std::chrono::milliseconds(100)), -1);
    const std::string log = ReadFile(home.Path() / "log.txt");
    EXPECT_NE(log.find("Orin KX-20 Suspend Event"), std::string::npos);
    EXPECT_NE(log.find("{0783C1FF-748B-4b9a-9B63-C9CEE29C9B3D}"), std::string::npos);
}

TEST_F(Program, ExitRequestEndsTheRunningInstanceBeforeReturning)
{
    StartFirst();
    EXPECT_EQ(RunProgram({"--exit"}), 0);
    // --exit returns only once the instance has gone: it has already ended by now.
    EXPECT_EQ(WaitFor(first, std::chrono::milliseconds(500)), 0);
    first = -1;
    const std::string log = ReadFile(home.Path() / "log.txt");
    EXPECT_NE(log.find("CControlApplication::ProcessEvent ON_EXIT"), std::string::npos);
    EXPECT_NE(log.find("Log file closed\r\n"), std::string::npos);
}

TEST_F(Program, TerminationSignalEndsTheProgramCleanly)
{
    StartFirst();
    kill(first, SIGTERM);
    EXPECT_EQ(WaitFor(first, std::chrono::seconds(20)), 0);
    first = -1;
    EXPECT_NE(ReadFile(home.Path() / "log.txt").find("Log file closed\r\n"), std::string::npos);
}

}  // namespace
