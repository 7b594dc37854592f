// Each preview is decoded once, on arrival, and the picture control takes that bitmap over for
// the file the storage saved it to.
#include "app/DownloadDecodeHook.h"
#include "app/imaging/LastDecodedPicture.h"
#include "app/platform/Registry.h"
#include "tests/imaging/JpegFixtures.h"
#include "tests/integration/ChildProcess.h"
#include "tests/integration/SimFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

TEST(DownloadDecode, ArrivedPreviewIsHeldForTheFileItIsSavedTo)
{
    const std::vector<uint8_t> jpeg = testjpeg::Encode(64, 48);
    CDownloadDecodeHook hook;
    ASSERT_TRUE(hook.DecodePicture(jpeg.data(), jpeg.size()));
    imaging::LastDecodedPicture::SetPath("/cache/Part1/Folder/Pic0001.jpg");
    EXPECT_EQ(imaging::LastDecodedPicture::TakeIf("/cache/Part1/Folder/Pic0002.jpg"), nullptr);
    auto bitmap = imaging::LastDecodedPicture::TakeIf("/cache/Part1/Folder/Pic0001.jpg");
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Width(), 64);
    EXPECT_EQ(bitmap->Height(), 48);
    EXPECT_EQ(imaging::LastDecodedPicture::TakeIf("/cache/Part1/Folder/Pic0001.jpg"), nullptr);
}

TEST(DownloadDecode, BytesThatAreNoPictureLeaveNothingToTakeOver)
{
    const std::vector<uint8_t> jpeg = testjpeg::Encode(32, 32);
    CDownloadDecodeHook hook;
    ASSERT_TRUE(hook.DecodePicture(jpeg.data(), jpeg.size()));
    const std::vector<uint8_t> junk(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 3));
    EXPECT_FALSE(hook.DecodePicture(junk.data(), junk.size()));
    imaging::LastDecodedPicture::SetPath("/cache/x.jpg");
    EXPECT_EQ(imaging::LastDecodedPicture::TakeIf("/cache/x.jpg"), nullptr);
}

class ProgramDecode : public integration::SimFixture {};

TEST_F(ProgramDecode, TheProgramDecodesEachDownloadOnArrivalAndPairsItWithTheSavedFile)
{
    platform::DefaultRegistry().WriteDword(platform::RegistryRoot::LocalMachine,
                                           std::string(platform::kOrinRootKey) + "\\Log", "Level", 3);
    StartSim(0, 3);
    const fs::path runtime = m_home.Path() / "run";
    fs::create_directories(runtime);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    integration::ChildProcess program({(testsupport::BuildDir() / "app" / "orin-kx20").string(), "--home",
                                       m_home.Path().string(), "--device", m_sim.Link().Path()});
    ASSERT_TRUE(integration::WaitUntil([&] { return m_sim.Stats().downloadsCompleted >= 1; }, 20000));
    const std::string shot = m_sim.Command("shoot");
    ASSERT_EQ(shot.rfind("OK shoot ", 0), 0u) << shot;
    ASSERT_TRUE(program.WaitForStdout("SHOWING " + shot.substr(9), 30000)) << program.Stdout();
    program.Terminate();
    EXPECT_EQ(program.Wait(20000), 0);
    unsetenv("XDG_RUNTIME_DIR");

    std::ifstream in(m_home.Path() / "log.txt", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("CDownloadDecodeHook::DecodePicture  - enter"), std::string::npos);
    EXPECT_NE(log.find("Decompression time - "), std::string::npos);
    EXPECT_NE(log.find("LastDecodedPicture::SetPath  - enter"), std::string::npos);
}

}  // namespace
