// The program itself, headless, on the simulated camera: the camera's messages go the whole way
// (link, hidden window, view's display thread, dispatcher) and the newest picture of a burst is
// the one shown.
#include "tests/integration/ChildProcess.h"
#include "tests/integration/SimFixture.h"

#include "app/platform/Paths.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

using namespace integration;
namespace fs = std::filesystem;

namespace {

class ProgramHeadless : public SimFixture {
protected:
    // The program with its own instance channel, so no other running copy answers in its place.
    std::vector<std::string> Command(const std::string& device)
    {
        const fs::path runtime = m_home.Path() / "run";
        fs::create_directories(runtime);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        return {(testsupport::BuildDir() / "app" / "orin-kx20").string(), "--home", m_home.Path().string(),
                "--device", device};
    }
};

TEST_F(ProgramHeadless, ABurstShowsItsNewestPictureAndDownloadsNoOlderOne)
{
    StartSim(0, 5);
    ChildProcess program(Command(m_sim.Link().Path()));
    ASSERT_TRUE(WaitUntil([&] { return m_sim.Stats().received["RequestSync"] >= 1; }, 20000));
    // The start's first picture download ends the start.
    ASSERT_TRUE(WaitUntil([&] { return m_sim.Stats().downloadsCompleted >= 1; }, 20000));
    const int downloadsBefore = m_sim.Stats().downloadsCompleted;

    const std::string result = m_sim.Command("burst 3");
    ASSERT_EQ(result.rfind("OK burst 3 last ", 0), 0u) << result;
    const std::string newest = result.substr(std::string("OK burst 3 last ").size());
    ASSERT_TRUE(program.WaitForStdout("SHOWING " + newest, 30000)) << program.Stdout();

    program.Terminate();
    EXPECT_EQ(program.Wait(20000), 0);
    // One download per burst picture at most; with the messages queued, only the newest.
    EXPECT_LE(m_sim.Stats().downloadsCompleted - downloadsBefore, 3);
    EXPECT_TRUE(fs::exists(m_home.Path() / "Last Orin Captures" / "Part1" / "Folder" /
                           (fs::path(newest).stem().string() + ".jpg")));
}

TEST_F(ProgramHeadless, WithoutTheCameraTheProgramStartsAtOnceAndEndsCleanly)
{
    fs::create_directories(m_home.Path() / "Last Orin Captures" / "Orin DM A");
    ChildProcess program(Command((m_home.Path() / "no-such-tty").string()));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    program.Terminate();
    EXPECT_EQ(program.Wait(20000), 0);
}

TEST_F(ProgramHeadless, ATerminationDuringTheStartEndsTheProgramOnceTheStartIsOver)
{
    StartSim(0, 5);
    const std::string fault = m_sim.Command("fault delay ms=4000 cmd=RequestSync");
    ASSERT_EQ(fault.rfind("OK", 0), 0u) << fault;
    ChildProcess program(Command(m_sim.Link().Path()));
    // The program is starting: it waits for the camera's delayed answer to its sync request.
    ASSERT_TRUE(WaitUntil([&] { return m_sim.Stats().received["RequestSync"] >= 1; }, 20000));
    program.Terminate();
    EXPECT_EQ(program.Wait(60000), 0);
    std::ifstream logFile(m_home.Path() / "log.txt");
    const std::string log((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("Log file closed"), std::string::npos);
}

}  // namespace
