// orinctl's disk commands as a user runs them, against the camera simulator on a pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/storage/StorageTestHelpers.h"
#include "tests/support/TestSupport.h"
#include "tools/camsim/SimCamera.h"
#include "tools/camsim/SimPictureFunctions.h"
#include "tools/camsim/SimPictures.h"
#include "tools/camsim/SimStorageCommands.h"

namespace fs = std::filesystem;
using namespace storagetest;

namespace {

struct CtlRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class OrinctlStorageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_disk = m_home.Path() / "camera-disk";
        fs::create_directories(m_disk / "Part1/Folder");
        fs::create_directories(m_disk / "Part1/Other");
        for (int i = 1; i <= 2; ++i) {
            const std::vector<uint8_t> jpeg = camsim::SimPictures::Jpeg(camsim::SimScene::Bands, 64, 48, 90, i);
            WriteFile(m_disk / "Part1/Folder" / ("Pic000" + std::to_string(i) + ".jpg"),
                      std::string(jpeg.begin(), jpeg.end()));
        }
        ASSERT_TRUE(m_camera.Disk().Open(m_disk));
        ASSERT_TRUE(m_camera.Link().OpenPty());
        ASSERT_TRUE(m_camera.Start());
    }
    void TearDown() override { m_camera.Stop(); }

    // The build's orinctl: from ORIN_BUILD_DIR, else two folders above this test binary.
    static fs::path OrinctlPath()
    {
        const fs::path fromEnvironment = testsupport::BuildDir() / "tools/orinctl/orinctl";
        std::error_code ec;
        if (fs::exists(fromEnvironment, ec)) {
            return fromEnvironment;
        }
        return fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path().parent_path() / "tools/orinctl/orinctl";
    }

    CtlRun Orinctl(const std::vector<std::string>& args)
    {
        std::string command = "'" + OrinctlPath().string() + "' --home '" +
                              (m_home.Path() / "client").string() + "' --device '" + m_camera.Link().Path() + "'";
        for (const std::string& arg : args) {
            command += " '" + arg + "'";
        }
        const fs::path out = m_home.Path() / "stdout.txt";
        const fs::path err = m_home.Path() / "stderr.txt";
        command += " >'" + out.string() + "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        CtlRun run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = ReadFile(out);
        run.err = ReadFile(err);
        return run;
    }
    int Received(const std::string& name) const
    {
        const camsim::SimStats stats = m_camera.Stats();
        const auto found = stats.received.find(name);
        return found == stats.received.end() ? 0 : found->second;
    }

    testsupport::TempHome m_home;
    fs::path m_disk;
    camsim::SimCamera m_camera;
};

}  // namespace

TEST_F(OrinctlStorageTest, LsPrintsOneLinePerEntryInTheModelsOrder)
{
    const CtlRun ls = Orinctl({"ls", "./Part1/"});
    ASSERT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_EQ(ls.out, "Folder,d\nOther,d\n");
    const CtlRun files = Orinctl({"ls", "./Part1/Folder"});
    EXPECT_EQ(files.out, "Pic0001.mos,f\nPic0002.mos,f\n");
    const CtlRun missing = Orinctl({"ls", "./Part1/Nothing/"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "orinctl: ./Part1/Nothing/: File or directory not found.\n");
}

TEST_F(OrinctlStorageTest, SecondGetOfAnUnchangedPictureSendsNoImageRequest)
{
    const fs::path first = m_home.Path() / "first.jpg";
    const fs::path second = m_home.Path() / "second.jpg";
    ASSERT_EQ(Orinctl({"get", "./Part1/Folder/Pic0001.mos", "-o", first.string()}).exitCode, 0);
    ASSERT_EQ(Orinctl({"get", "./Part1/Folder/Pic0001.mos", "-o", second.string()}).exitCode, 0);
    EXPECT_EQ(Received("GetImage"), 1);
    EXPECT_EQ(ReadFile(first), ReadFile(m_disk / "Part1/Folder/Pic0001.jpg"));
    EXPECT_EQ(ReadFile(second), ReadFile(first));
}

TEST_F(OrinctlStorageTest, GetOfAPictureChangedOnTheCameraDownloadsItAgain)
{
    const fs::path out = m_home.Path() / "out.jpg";
    ASSERT_EQ(Orinctl({"get", "./Part1/Folder/Pic0001.mos", "-o", out.string()}).exitCode, 0);
    const std::vector<uint8_t> other = camsim::SimPictures::Jpeg(camsim::SimScene::ClippedBoth, 64, 48, 90, 7);
    WriteFile(m_disk / "Part1/Folder/Pic0001.jpg", std::string(other.begin(), other.end()));
    fs::last_write_time(m_disk / "Part1/Folder/Pic0001.jpg", fs::file_time_type::clock::now() + std::chrono::hours(2));
    ASSERT_EQ(Orinctl({"get", "./Part1/Folder/Pic0001.mos", "-o", out.string()}).exitCode, 0);
    EXPECT_EQ(Received("GetImage"), 2);
    EXPECT_EQ(ReadFile(out), std::string(other.begin(), other.end()));
}

TEST_F(OrinctlStorageTest, MarkAndAnnotateShowInProps)
{
    ASSERT_EQ(Orinctl({"mark", "./Part1/Folder/Pic0002.mos", "nogood"}).exitCode, 0);
    ASSERT_EQ(Orinctl({"annotate", "./Part1/Folder/Pic0002.mos", "out of focus"}).exitCode, 0);
    const CtlRun props = Orinctl({"props", "./Part1/Folder/Pic0002.mos"});
    ASSERT_EQ(props.exitCode, 0) << props.err;
    EXPECT_NE(props.out.find("Marking=NoGood\n"), std::string::npos) << props.out;
    EXPECT_NE(props.out.find("text=out of focus\n"), std::string::npos);
    EXPECT_NE(props.out.find("Orientation=Landscape\n"), std::string::npos);
    EXPECT_NE(props.out.find("Histogram="), std::string::npos);
}

TEST_F(OrinctlStorageTest, FileCommandsChangeTheCamerasDisk)
{
    ASSERT_EQ(Orinctl({"mkdir", "./Part1/New"}).exitCode, 0);
    ASSERT_EQ(Orinctl({"cp", "./Part1/Folder/Pic0001.mos", "./Part1/New/Pic0001.mos"}).exitCode, 0);
    ASSERT_EQ(Orinctl({"mv", "./Part1/Folder/Pic0002.mos", "./Part1/Other/Pic0002.mos"}).exitCode, 0);
    ASSERT_EQ(Orinctl({"rm", "./Part1/Folder/Pic0001.mos"}).exitCode, 0);
    EXPECT_TRUE(fs::exists(m_disk / "Part1/New/Pic0001.jpg"));
    EXPECT_TRUE(fs::exists(m_disk / "Part1/Other/Pic0002.jpg"));
    EXPECT_TRUE(fs::is_empty(m_disk / "Part1/Folder"));
    ASSERT_EQ(Orinctl({"recover", "./Part1/"}).exitCode, 0);
    ASSERT_EQ(Orinctl({"qformat", "./Part1/"}).exitCode, 0);
    EXPECT_TRUE(fs::is_empty(m_disk / "Part1"));
}

TEST_F(OrinctlStorageTest, RefusedCommandsPrintTheUserTextAndExitOne)
{
    CtlRun run = Orinctl({"mv", "./Part1/Folder/Pic0001.mos", "./Part1/Folder/Pic0002.mos"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err,
              "orinctl: ./Part1/Folder/Pic0001.mos: The folder \"Part1/Folder\" already contains the file \"Pic0002.mos\".\n");
    run = Orinctl({"rm", "./Part1/Folder"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "orinctl: ./Part1/Folder: Directory not empty.\n");
    run = Orinctl({"mkdir", "./Part1/Folder"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "orinctl: ./Part1/Folder already exists.\n");
    run = Orinctl({"qformat", "./Part1/Folder/"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "orinctl: ./Part1/Folder/: Invalid drive specified in an argument.\n");
    EXPECT_EQ(Orinctl({"mark", "./Part1/Folder/Pic0001.mos", "maybe"}).exitCode, 2);
    EXPECT_EQ(Orinctl({"mv", "./Part1/Folder/Pic0001.mos"}).exitCode, 2);
}
