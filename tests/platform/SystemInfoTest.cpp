#include "app/platform/Log.h"
#include "app/platform/Paths.h"
#include "app/platform/SystemInfo.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace platform;
namespace fs = std::filesystem;

namespace {
void WriteText(const fs::path& file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}
}  // namespace

TEST(SystemInfo, PlatformTypeNamesTheKernel)
{
    EXPECT_EQ(SystemInfo::PlatformType(), "Linux");
}

TEST(SystemInfo, ModelPrefersDmiThenDeviceTreeThenUnknown)
{
    testsupport::TempHome home;
    fs::path dmi = home.Path() / "product_name";
    fs::path tree = home.Path() / "model";
    EXPECT_EQ(SystemInfo::Model(dmi, tree), "unknown");

    WriteText(tree, std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31));
    EXPECT_EQ(SystemInfo::Model(dmi, tree), "Raspberry Pi 4 Model B Rev 1.4");

    WriteText(dmi, "  \n");  // present but blank, as some boards ship it
    EXPECT_EQ(SystemInfo::Model(dmi, tree), "Raspberry Pi 4 Model B Rev 1.4");

    WriteText(dmi, "ThinkPad X1\tCarbon\n");
    EXPECT_EQ(SystemInfo::Model(dmi, tree), "ThinkPad X1 Carbon");
    EXPECT_FALSE(SystemInfo::Model().empty());
}

TEST(SystemInfo, OversizedModelFileIsCutShort)
{
    testsupport::TempHome home;
    fs::path dmi = home.Path() / "product_name";
    WriteText(dmi, std::string(100000, 'M'));
    EXPECT_LE(SystemInfo::Model(dmi, home.Path() / "none").size(), 256u);
}

TEST(SystemInfo, KernelReleaseGivesMajorMinorAndBuild)
{
    OsVersion v = SystemInfo::ParseKernelRelease("6.1.0-13-amd64");
    EXPECT_EQ(v.major, 6);
    EXPECT_EQ(v.minor, 1);
    EXPECT_EQ(v.build, 0);
    v = SystemInfo::ParseKernelRelease("5.15.133.1-microsoft-standard-WSL2");
    EXPECT_EQ(v.major, 5);
    EXPECT_EQ(v.minor, 15);
    EXPECT_EQ(v.build, 133);
    v = SystemInfo::ParseKernelRelease("6.7-rc1");
    EXPECT_EQ(v.major, 6);
    EXPECT_EQ(v.minor, 7);
    EXPECT_EQ(v.build, 0);
    v = SystemInfo::ParseKernelRelease("garbage");
    EXPECT_EQ(v.major, 0);
    v = SystemInfo::ParseKernelRelease("99999999999999999999999.1.2");
    EXPECT_EQ(v.major, 0);
    EXPECT_GE(SystemInfo::GetOsVersion().major, 3);
}

TEST(SystemInfo, MemInfoGivesTotalAvailableAndLoad)
{
    MemoryStatus m;
    ASSERT_TRUE(SystemInfo::ParseMemInfo("MemTotal:        1000000 kB\nMemFree:          100000 kB\n"
                                         "MemAvailable:     250000 kB\nBuffers:  1 kB\n",
                                         m));
    EXPECT_EQ(m.totalBytes, 1024000000u);
    EXPECT_EQ(m.availableBytes, 256000000u);
    EXPECT_EQ(m.loadPercent, 75u);

    // Old kernels: no MemAvailable, free memory stands in.
    ASSERT_TRUE(SystemInfo::ParseMemInfo("MemTotal: 400 kB\nMemFree: 100 kB\n", m));
    EXPECT_EQ(m.availableBytes, 102400u);
    EXPECT_EQ(m.loadPercent, 75u);

    EXPECT_FALSE(SystemInfo::ParseMemInfo("MemFree: 100 kB\n", m));
    EXPECT_FALSE(SystemInfo::ParseMemInfo("", m));

    MemoryStatus live = SystemInfo::GetMemoryStatus();
    EXPECT_GT(live.totalBytes, 0u);
    EXPECT_LE(live.availableBytes, live.totalBytes);
    EXPECT_LE(live.loadPercent, 100u);
}

TEST(SystemInfo, StorageOfTheProgramFolderIsConsistent)
{
    testsupport::TempHome home;
    StorageStatus s;
    ASSERT_TRUE(SystemInfo::GetStorageStatus(Paths::ProgramFolder(), s));
    EXPECT_GT(s.totalBytes, 0u);
    EXPECT_LE(s.freeBytes, s.totalBytes);
    EXPECT_LE(s.availableBytes, s.freeBytes);

    testsupport::LogCapture log;
    EXPECT_FALSE(SystemInfo::GetStorageStatus(home.Path() / "missing" / "folder", s));
    EXPECT_EQ(s.totalBytes, 0u);
    EXPECT_TRUE(log.Contains(platform::LOG_ERROR, "statvfs"));
}
