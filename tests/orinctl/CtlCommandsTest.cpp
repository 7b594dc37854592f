// orinctl's handling of names and files that come from the camera: a picture is saved below the
// folder it is meant for or not at all, and never half-written.
#include "tests/support/TestSupport.h"
#include "tools/orinctl/CtlCommands.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

TEST(CtlCommands, CameraFoldersAreMirroredBelowTheTargetFolder)
{
    EXPECT_EQ(CtlCommands::LocalPathFor("/tmp/out", "./Part1/Folder/Pic0001.mos"),
              fs::path("/tmp/out/Part1/Folder/Pic0001.jpg"));
    EXPECT_EQ(CtlCommands::LocalPathFor("out", "./Orin DM A/Pic0002.mos"), fs::path("out/Orin DM A/Pic0002.jpg"));
}

TEST(CtlCommands, CameraNamesThatWouldLeaveTheFolderAreRefused)
{
    for (const char* name : {"./../../etc/passwd", "./Part1/../../x.mos", "/etc/passwd", "./Part1//x.mos",
                             "./Part1/./x.mos", "./Part1/Folder/", "./a\\..\\b.mos", "", "./"}) {
        EXPECT_TRUE(CtlCommands::LocalPathFor("/tmp/out", name).empty()) << name;
    }
}

TEST(CtlCommands, AtomicWriteLeavesTheWholeFileAndNoTemporary)
{
    testsupport::TempHome home;
    fs::path target = home.Path() / "a" / "b" / "Pic.jpg";
    std::string error;
    std::vector<uint8_t> bytes(100000, 0x42);
    ASSERT_TRUE(CtlCommands::WriteFileAtomically(target, bytes, error)) << error;
    EXPECT_EQ(fs::file_size(target), bytes.size());
    int files = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(target.parent_path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(CtlCommands, FailedWriteLeavesNoTemporaryBehind)
{
    testsupport::TempHome home;
    // The final rename cannot replace a folder that holds something.
    fs::path target = home.Path() / "Pic.jpg";
    fs::create_directories(target / "inside");
    std::string error;
    EXPECT_FALSE(CtlCommands::WriteFileAtomically(target, std::vector<uint8_t>(10, 1), error));
    EXPECT_FALSE(error.empty());
    for (const fs::directory_entry& entry : fs::directory_iterator(home.Path())) {
        EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos) << entry.path();
    }
    EXPECT_TRUE(fs::is_directory(target / "inside"));
}
