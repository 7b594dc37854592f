// orinctl's shoot setups and tethered bursts as a user runs them against the simulated camera.
#include "tests/integration/ChildProcess.h"
#include "tests/integration/SimFixture.h"

#include <sstream>

using namespace integration;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

class OrinctlSetups : public SimFixture {
protected:
    std::vector<std::string> Command(std::initializer_list<std::string> args)
    {
        std::vector<std::string> argv = {(testsupport::BuildDir() / "tools" / "orinctl" / "orinctl").string(),
                                         "--home", m_home.Path().string(), "--device", m_sim.Link().Path(),
                                         "--wait", "2"};
        argv.insert(argv.end(), args);
        return argv;
    }
};

TEST_F(OrinctlSetups, SyncPrintsTheParsedSetupsAndTheShootingFolder)
{
    StartSim();
    ChildProcess run(Command({"sync"}));
    ASSERT_EQ(run.Wait(20000), 0) << run.Stderr();
    const std::string out = run.Stdout();
    EXPECT_NE(out.find("\nsetup Studio (default): SetupName=Studio,ShootingFolder=./Part1/Folder/,ISO=100,"),
              std::string::npos);
    // A setup sent without a final slash or a prefix is read with them, as the program reads it.
    EXPECT_NE(out.find("\nsetup Tethered: SetupName=Tethered,ShootingFolder=./Part1/Tethered/,"), std::string::npos);
    EXPECT_EQ(Lines(out).back(), "shooting folder: ./Part1/Folder/");
}

TEST_F(OrinctlSetups, SetupEditsAUserCopyAndTheCameraKeepsItAsTheDefault)
{
    StartSim();
    ChildProcess run(Command({"setup", "studio", "ISO=800", "toning=Warm"}));
    ASSERT_EQ(run.Wait(20000), 0) << run.Stderr();
    EXPECT_EQ(run.Stdout(),
              "ShootSetup=SetupName=Studio.1,ShootingFolder=./Part1/Folder/,ISO=800,ImageQuality=Best,Framing=Full,"
              "Toning=Warm,Light=Flash,SharpTable=Normal,InputProfile=Standard,OutputProfile=sRGB,CameraType=Studio,"
              "ICCFlag=1,Prefix=S\n");
    EXPECT_EQ(m_sim.Settings().Get("DefaultShootSetup").value_or(""), "Studio.1");
    EXPECT_NE(m_sim.Settings().Get("ShootSetup").value_or("").find(";SetupName=Studio.1,"), std::string::npos);
}

TEST_F(OrinctlSetups, SetupRefusesTextThatWouldBreakTheCommandAndSendsNothing)
{
    StartSim();
    const std::string before = m_sim.Settings().Get("ShootSetup").value_or("");
    ChildProcess run(Command({"setup", "Studio", "Toning=Warm\" x=\"y"}));
    EXPECT_EQ(run.Wait(20000), 2);
    EXPECT_NE(run.Stderr().find("cannot hold"), std::string::npos);
    EXPECT_EQ(m_sim.Settings().Get("ShootSetup").value_or(""), before);

    ChildProcess unknown(Command({"setup", "Studio", "Colour=BW"}));
    EXPECT_EQ(unknown.Wait(20000), 2);
    ChildProcess missing(Command({"setup", "Nowhere", "ISO=100"}));
    EXPECT_EQ(missing.Wait(20000), 1);
}

TEST_F(OrinctlSetups, WatchFetchesTheNewestOfABurstFirstAndTheOthersWithAll)
{
    StartSim();
    const fs::path shots = m_home.Path() / "shots";
    ChildProcess run(Command({"watch", "-o", shots.string(), "--all", "--count", "4", "--timeout", "60"}));
    // The camera's burst is announced while watch waits; the link records the newest name first.
    ASSERT_TRUE(WaitUntil([&] { return m_sim.Stats().received["RequestSync"] >= 1; }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(m_sim.Command("burst 4").rfind("OK burst 4", 0), 0u);
    ASSERT_EQ(run.Wait(60000), 0) << run.Stderr();
    const std::vector<std::string> lines = Lines(run.Stdout());
    ASSERT_EQ(lines.size(), 4u);
    for (const std::string& line : lines) {
        const fs::path local = line.substr(line.find('\t') + 1);
        EXPECT_TRUE(fs::exists(local)) << line;
    }
    // The newest picture arrives before any skipped one is fetched.
    const std::string newest = lines.front().substr(0, lines.front().find('\t'));
    const std::string err = run.Stderr();
    if (err.find("skipped (burst)") != std::string::npos) {
        EXPECT_NE(err.find("fetching"), std::string::npos);
        EXPECT_EQ(err.find("skipped (burst): " + newest), std::string::npos);
    }
}

}  // namespace
