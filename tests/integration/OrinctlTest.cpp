// orinctl as a user runs it, against the simulated camera: output, exit codes, one-line errors,
// and a tethered session that survives the cable being pulled in the middle of a download.
#include "tests/integration/ChildProcess.h"
#include "tests/integration/SimFixture.h"

#include "tools/camsim/SimPictures.h"

#include <cstdio>
#include <sstream>

using namespace integration;
namespace fs = std::filesystem;

namespace {

std::string Orinctl()
{
    return (testsupport::BuildDir() / "tools" / "orinctl" / "orinctl").string();
}

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

std::vector<fs::path> FilesBelow(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        return files;
    }
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder, ec)) {
        if (entry.is_regular_file(ec)) {
            files.push_back(entry.path());
        }
    }
    return files;
}

}  // namespace

class OrinctlAgainstSim : public SimFixture {
protected:
    std::vector<std::string> Command(std::initializer_list<std::string> args)
    {
        std::vector<std::string> argv = {Orinctl(), "--home", m_home.Path().string(), "--device",
                                         m_sim.Link().Path(), "--wait", "2"};
        argv.insert(argv.end(), args);
        return argv;
    }
};

TEST_F(OrinctlAgainstSim, SyncPrintsEachAttributeInTheAnswersOrder)
{
    StartSim();
    ChildProcess run(Command({"sync"}));
    ASSERT_EQ(run.Wait(20000), 0) << run.Stderr();
    std::vector<std::string> lines = Lines(run.Stdout());
    camsim::SimSettings::Pairs expected = m_sim.Settings().SyncAttributes();
    ASSERT_GT(lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(lines[i], expected[i].first + "=" + expected[i].second);
    }
    // Then the shoot setups as the program reads them, and the shooting folder of the default.
    for (size_t i = expected.size(); i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind("setup ", 0), 0u) << lines[i];
    }
    EXPECT_EQ(lines.back(), "shooting folder: ./Part1/Folder/");
    EXPECT_EQ(run.Stderr(), "");
}

TEST_F(OrinctlAgainstSim, GetWritesTheExactPreview)
{
    StartSim(230400);
    fs::path out = m_home.Path() / "out" / "first.jpg";
    ChildProcess run(Command({"get", "./Part1/Folder/Pic0001.mos", "-o", out.string()}));
    ASSERT_EQ(run.Wait(20000), 0) << run.Stderr();
    const auto expected = DiskBytes("./Part1/Folder/Pic0001.mos");
    EXPECT_EQ(ReadFileBytes(out), expected);
    EXPECT_EQ(FilesBelow(m_home.Path() / "out").size(), 1u);
    // A download of several seconds tells how far it is, a line per tenth when not on a
    // terminal, ending with the whole picture.
    const std::vector<std::string> progress = Lines(run.Stderr());
    ASSERT_FALSE(progress.empty());
    EXPECT_LE(progress.size(), 10u);
    unsigned long previous = 0;
    for (const std::string& line : progress) {
        unsigned long received = 0;
        unsigned long total = 0;
        unsigned percent = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "orinctl: received %lu of %lu bytes (%u%%)", &received, &total, &percent), 3)
            << line;
        EXPECT_EQ(total, expected.size());
        EXPECT_GT(received, previous);
        EXPECT_EQ(percent, received * 100 / total);
        previous = received;
    }
    EXPECT_EQ(previous, expected.size());
}

TEST_F(OrinctlAgainstSim, RefusedPictureExitsOneWithTheCameraTextOnOneLine)
{
    StartSim();
    fs::path out = m_home.Path() / "never.jpg";
    ChildProcess run(Command({"get", "./Part1/Folder/Pic9999.mos", "-o", out.string()}));
    EXPECT_EQ(run.Wait(20000), 1);
    EXPECT_EQ(run.Stderr(), "orinctl: ./Part1/Folder/Pic9999.mos: Filename not found.\n");
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(OrinctlAgainstSim, ParamSetThenGetReadsTheValueBack)
{
    StartSim();
    ChildProcess set(Command({"param", "set", "HistogramDim=200;100", "CurrentTime=2026:12:07:10:00:00"}));
    ASSERT_EQ(set.Wait(20000), 0) << set.Stderr();
    ChildProcess get(Command({"param", "get", "HistogramDim"}));
    ASSERT_EQ(get.Wait(20000), 0) << get.Stderr();
    EXPECT_EQ(get.Stdout(), "HistogramDim=200;100\n");
    ChildProcess missing(Command({"param", "get", "NoSuchValue"}));
    EXPECT_EQ(missing.Wait(20000), 1);
    EXPECT_EQ(missing.Stderr(), "orinctl: NoSuchValue: Missing or invalid parameters.\n");
}

TEST_F(OrinctlAgainstSim, CameraErrorAnswersExitOne)
{
    StartSim();
    m_sim.Command("fault error code=3 count=3 cmd=GetCameraParam");
    ChildProcess run(Command({"param", "get", "exp_left"}));
    EXPECT_EQ(run.Wait(30000), 1);
    EXPECT_EQ(run.Stderr(), "orinctl: exp_left: Parameter error\n");
}

TEST_F(OrinctlAgainstSim, SilentCameraExitsThree)
{
    StartSim();
    m_sim.Command("fault drop count=100");
    ChildProcess run(Command({"sync"}));
    EXPECT_EQ(run.Wait(60000), 3);
    EXPECT_EQ(run.Stderr(), "orinctl: no answer from the camera on " + m_sim.Link().Path() + "\n");
}

TEST_F(OrinctlAgainstSim, MissingDeviceExitsThreeAndUsageErrorsExitTwo)
{
    ChildProcess missing({Orinctl(), "--home", m_home.Path().string(), "--device",
                          (m_home.Path() / "no-such-tty").string(), "--wait", "0", "sync"});
    EXPECT_EQ(missing.Wait(20000), 3);
    EXPECT_EQ(Lines(missing.Stderr()).size(), 1u) << missing.Stderr();

    for (std::vector<std::string> argv :
         {std::vector<std::string>{Orinctl()}, {Orinctl(), "frobnicate"}, {Orinctl(), "get"},
          {Orinctl(), "param", "set", "novalue"}, {Orinctl(), "watch", "--count", "x"},
          {Orinctl(), "--baud"}}) {
        ChildProcess usage(argv);
        EXPECT_EQ(usage.Wait(20000), 2) << argv.back();
    }
}

TEST_F(OrinctlAgainstSim, WatchCarriesOnAfterTheCableIsPulledMidDownload)
{
    StartSim(230400);
    // Noise previews of about 40 KB: close to 2 s on the line each.
    m_sim.SetPreviewSize(192, 160);
    fs::path folder = m_home.Path() / "tethered";
    ChildProcess watch(Command({"watch", "-o", folder.string(), "--count", "2", "--timeout", "90"}));
    if (!WaitUntil([&] { return m_sim.Stats().received["RequestSync"] >= 1; }, 20000)) {
        std::ifstream log(m_home.Path() / "orinctl-log.txt");
        std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
        FAIL() << watch.Stderr() << "\n" << text;
    }

    std::string first = m_sim.Command("shoot noise");
    ASSERT_EQ(first.rfind("OK shoot ", 0), 0u) << first;
    first = first.substr(9);
    ASSERT_TRUE(WaitUntil([&] { return m_sim.Stats().packetsSent >= 4; }, 10000));
    EXPECT_EQ(m_sim.Command("unplug"), "OK unplug");
    EXPECT_TRUE(watch.WaitForStderr("the link to the camera was lost", 3000)) << watch.Stderr();
    // Nothing half-written is left where the pictures go.
    EXPECT_TRUE(FilesBelow(folder).empty());

    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_EQ(m_sim.Command("plug").rfind("OK plug", 0), 0u);
    EXPECT_TRUE(watch.WaitForStderr("the camera is back", 5000)) << watch.Stderr();

    // The interrupted picture comes down whole once the link is back, and the next one too.
    ASSERT_TRUE(watch.WaitForStdout(first + "\t", 30000)) << watch.Stderr();
    std::string second = m_sim.Command("shoot noise").substr(9);
    ASSERT_TRUE(watch.WaitForStdout(second + "\t", 30000)) << watch.Stderr();
    EXPECT_EQ(watch.Wait(30000), 0) << watch.Stderr();

    std::vector<std::string> lines = Lines(watch.Stdout());
    ASSERT_EQ(lines.size(), 2u);
    fs::path firstLocal = folder / "Part1" / "Folder" / fs::path(first).filename().replace_extension(".jpg");
    fs::path secondLocal = folder / "Part1" / "Folder" / fs::path(second).filename().replace_extension(".jpg");
    EXPECT_EQ(lines[0], first + "\t" + firstLocal.string());
    EXPECT_EQ(lines[1], second + "\t" + secondLocal.string());
    EXPECT_EQ(ReadFileBytes(firstLocal), DiskBytes(first));
    EXPECT_EQ(ReadFileBytes(secondLocal), DiskBytes(second));
    EXPECT_EQ(FilesBelow(folder).size(), 2u);
}
