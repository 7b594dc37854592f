// Synchronisation against the simulated camera: lists, setups, the disk identity and the local
// captures folder, the shooting folder and the camera's clock.
#include "app/controller/Configuration.h"
#include "app/controller/ProtocolCameraLink.h"
#include "app/platform/Paths.h"
#include "app/platform/Registry.h"
#include "app/platform/TextConvert.h"
#include "app/storage/DiskCacheOp.h"
#include "tests/controller/SimControllerFixture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using namespace controllertest;

namespace {

std::string RegistryDiskId()
{
    return platform::DefaultRegistry()
        .ReadString(platform::RegistryRoot::LocalMachine, platform::kOrinRootKey, "DiskID")
        .value_or("");
}

void WriteRegistryDiskId(const std::string& id)
{
    platform::DefaultRegistry().WriteString(platform::RegistryRoot::LocalMachine, platform::kOrinRootKey, "DiskID", id);
}

fs::path StalePreview()
{
    const fs::path file = platform::Paths::CapturesFolder() / "Old" / "Pic9999.jpg";
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "old disk";
    return file;
}

// A preview of a picture the camera still has, stamped with its camera time, so that the start's
// reconciliation of the cache with the camera's listing keeps it.
fs::path KeptPreview(const SimController& sim)
{
    const fs::path file = platform::Paths::CapturesFolder() / "Part1" / "Folder" / "Pic0001.jpg";
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "preview";
    const std::string stamp = camsim::SimStorageCommands::TimeStamp(fs::last_write_time(sim.disk / "Part1/Folder/Pic0001.jpg"));
    storage::DiskCacheOp::StampFile(file, platform::FromUtf8(stamp));
    return file;
}

std::vector<std::u16string> Items(const SimpleArray<std::u16string>& list)
{
    return std::vector<std::u16string>(list.begin(), list.end());
}

const char* const kOneSetup = "SetupName=Studio,ShootingFolder=./Part1/Folder/";

class SimSync : public ::testing::Test {
protected:
    bool Sync(const Pairs& attributes)
    {
        auto message = MakeCameraMessage(SYNC_REPLY, attributes);
        return sim.app.OnSynchronize(message.get());
    }
    SimController sim{3};
};

TEST_F(SimSync, StartReadsTheCameraSelectsTheShootingFolderAndShowsTheLastPicture)
{
    ASSERT_TRUE(sim.Start());
    CControlApplication& app = sim.app;
    EXPECT_EQ(app.ShootingFolder(), u"./Part1/Folder/");
    EXPECT_EQ(app.CurrentFolderPath(), u"./Part1/Folder/");
    ASSERT_EQ(app.CurrentDirectory().GetArrLength(), 3);
    EXPECT_EQ(app.CurrentIndex(), 2);
    EXPECT_EQ(app.CurrentEntry()->m_strName, u"Pic0003.mos");
    EXPECT_TRUE(fs::exists(platform::Paths::CapturesFolder() / "Part1/Folder/Pic0003.jpg"));
    EXPECT_EQ(app.ShootSetups().Count(), 3);
    EXPECT_EQ(app.ShootSetups().DefaultName(), u"Studio");
    EXPECT_TRUE(app.ShootSetups().IsExtended());
    EXPECT_TRUE(app.ParameterLists().m_bProfilesAvailable);
    EXPECT_TRUE(app.ParameterLists().m_bCameraTypesAvailable);
    EXPECT_EQ(app.ParameterLists().m_strDcbVersion, u"2.4.1");
    EXPECT_EQ(app.ParameterLists().m_iPictureWidth, 5440);
    EXPECT_EQ(app.StatusRecord().batteryPercent, 87);
    EXPECT_EQ(app.DiskThresholdList(), (std::vector<int32_t>{10, 5, 1}));
    EXPECT_EQ(app.StorageModel()->GetCurrentFileName(), u"./Part1/Folder/Pic0003.mos");
    std::u16string workingPath;
    ASSERT_TRUE(CConfiguration().ReadWorkingPath(workingPath));
    EXPECT_EQ(workingPath, u"./Part1/Folder/");
    // The camera's clock was set, in the camera's stamp format.
    const std::string time = sim.camera.Settings().Get("CurrentTime").value_or("");
    EXPECT_EQ(time.size(), 19u);
    EXPECT_EQ(time[4], ':');
}

TEST_F(SimSync, ANewDiskEmptiesTheCapturesFolderAndIsThenStored)
{
    WriteRegistryDiskId("DISK-OF-YESTERDAY");
    const fs::path stale = StalePreview();
    const fs::path samePlace = KeptPreview(sim);
    ASSERT_TRUE(sim.Start());
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_FALSE(fs::exists(samePlace));
    EXPECT_FALSE(fs::exists(stale.parent_path()));
    EXPECT_TRUE(fs::exists(platform::Paths::CapturesFolder()));
    EXPECT_EQ(RegistryDiskId(), sim.DiskId());
}

TEST_F(SimSync, TheSameDiskInAnotherLetterCaseLeavesTheCapturesFolderAlone)
{
    std::string lower = sim.DiskId();
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    WriteRegistryDiskId(lower);
    const fs::path kept = KeptPreview(sim);
    ASSERT_TRUE(sim.Start());
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_EQ(RegistryDiskId(), lower);
}

TEST_F(SimSync, AFailedSyncWithANewDiskKeepsTheOldIdentitySoTheNextSyncStillEmptiesTheCache)
{
    ASSERT_TRUE(sim.Start());
    const fs::path stale = KeptPreview(sim);
    EXPECT_FALSE(Sync({{"DiskID", "NEW-DISK"}, {"ISO", ";;"}, {"ShootSetup", kOneSetup}}));
    EXPECT_EQ(RegistryDiskId(), sim.DiskId());
    EXPECT_TRUE(fs::exists(stale));

    EXPECT_TRUE(Sync({{"DiskID", "NEW-DISK"}, {"ShootSetup", kOneSetup}, {"DefaultShootSetup", "Studio"}}));
    EXPECT_EQ(RegistryDiskId(), "NEW-DISK");
    EXPECT_FALSE(fs::exists(stale));
}

TEST_F(SimSync, ACardSwappedInTheCameraEmptiesTheCacheAtTheNextSync)
{
    ASSERT_TRUE(sim.Start());
    const std::string before = RegistryDiskId();
    const fs::path kept = KeptPreview(sim);
    ASSERT_EQ(sim.camera.Command("newdisk").rfind("OK newdisk ", 0), 0u);
    auto* link = dynamic_cast<CProtocolCameraLink*>(sim.app.CameraLink());
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(link->ReSyncAndSynchronize());
    EXPECT_NE(RegistryDiskId(), before);
    EXPECT_EQ(RegistryDiskId(), sim.DiskId());
    EXPECT_FALSE(fs::exists(kept));
    // The shooting folder's newest picture is fetched again for the new disk.
    EXPECT_TRUE(fs::exists(platform::Paths::CapturesFolder() / "Part1/Folder/Pic0003.jpg"));
}

TEST_F(SimSync, ASeparatorOnlyListFailsAndStopsTheReading)
{
    ASSERT_TRUE(sim.Start());
    EXPECT_FALSE(Sync({{"ImageQuality", "Best"}, {"ISO", ";;;"}, {"Toning", "Warm"}, {"ShootSetup", kOneSetup}}));
    EXPECT_TRUE(sim.log.Contains(1, "incorrect ISO - FillComBSTRArr() failed"));
    const CCameraParameterLists& lists = sim.app.ParameterLists();
    EXPECT_EQ(Items(lists.m_saImageQuality), (std::vector<std::u16string>{u"Best"}));
    EXPECT_EQ(Items(lists.m_saISO), (std::vector<std::u16string>{u"Default"}));
    EXPECT_EQ(Items(lists.m_saToning), (std::vector<std::u16string>{u"Default"}));  // not read
    // The setups after the failure were not read either: the default one stands in.
    ASSERT_EQ(sim.app.ShootSetups().Count(), 1);
    EXPECT_EQ(sim.app.ShootSetups().List()[0].ShootingFolder(), u"./Orin DM A/");
}

TEST_F(SimSync, UnknownEnumerationEntriesAndNegativeDimensionsDoNotFailTheSync)
{
    ASSERT_TRUE(sim.Start());
    EXPECT_TRUE(Sync({{"Color", "color;Sepia"}, {"PictureDimensions", "4000,-3"}, {"ShootSetup", kOneSetup},
                      {"DefaultShootSetup", "studio"}}));
    const CCameraParameterLists& lists = sim.app.ParameterLists();
    EXPECT_EQ(std::vector<int32_t>(lists.m_saColor.begin(), lists.m_saColor.end()), (std::vector<int32_t>{0}));
    EXPECT_TRUE(sim.log.Contains(2, "Unknown entry founded: Sepia"));
    EXPECT_EQ(lists.m_iPictureWidth, 4000);
    EXPECT_EQ(lists.m_iPictureHeight, 0);
}

TEST_F(SimSync, ABadFramingItemFailsUnlessALaterListIsReadWell)
{
    ASSERT_TRUE(sim.Start());
    EXPECT_FALSE(Sync({{"ShootSetup", kOneSetup}, {"Framing", "6x7,260,0,5180,4080;Bad,1,2"}}));
    ASSERT_EQ(sim.app.ParameterLists().m_saFraming.GetArrLength(), 1);
    EXPECT_EQ(sim.app.ParameterLists().m_saFraming[0].name, u"6x7");

    EXPECT_TRUE(Sync({{"ShootSetup", kOneSetup}, {"Framing", "Bad,1,2"}, {"ISO", "100"}}));
    EXPECT_EQ(sim.app.ParameterLists().m_saFraming[0].name, u"No Selection");
}

TEST_F(SimSync, AShortSetupGetsItsSlashAndBecomesTheShootingFolder)
{
    ASSERT_TRUE(sim.Start());
    EXPECT_TRUE(Sync({{"ShootSetup", "SetupName=Quick,ShootingFolder=./Part1/Studio"}, {"DefaultShootSetup", "Quick"}}));
    EXPECT_TRUE(sim.log.Contains(2, "Actual number of shoot setup items is wrong"));
    EXPECT_EQ(sim.app.ShootingFolder(), u"./Part1/Studio/");
    ASSERT_EQ(sim.app.CurrentDirectory().GetArrLength(), 1);
    EXPECT_EQ(sim.app.CurrentEntry()->FullPath(), u"./Part1/Studio/Pic0100.mos");
    // Without both profile lists no setup may ask for an ICC profile.
    EXPECT_EQ(sim.app.ShootSetups().List()[0].Get(CShootSetup::ICC_FLAG), u"0");
    EXPECT_FALSE(sim.app.ParameterLists().m_bProfilesAvailable);
}

TEST_F(SimSync, SetupsWithoutAFolderGetTheCurrentShootingFolder)
{
    ASSERT_TRUE(sim.Start());
    EXPECT_TRUE(Sync({{"ShootSetup", "SetupName=A,ISO=100;SetupName=B,ShootingFolder=./Part1/Folder/"},
                      {"DefaultShootSetup", "B"}}));
    EXPECT_EQ(sim.app.ShootSetups().List()[0].ShootingFolder(), u"./Part1/Folder/");
}

TEST(OfflineSync, NoSetupAndNoEarlierShootingFolderFailsThenLeavesTheDefaultSetup)
{
    testsupport::TempHome home;
    testsupport::LogCapture log;
    ControllerUnderTest app;
    Recorder recorder;
    recorder.Attach(app);
    auto message = MakeCameraMessage(SYNC_REPLY, {{"ISO", "100"}});
    EXPECT_FALSE(app.OnSynchronize(message.get()));
    ASSERT_EQ(app.ShootSetups().Count(), 1);
    const CShootSetup& setup = app.ShootSetups().List()[0];
    EXPECT_EQ(setup.Name(), u"Default");
    EXPECT_EQ(setup.ShootingFolder(), u"./Orin DM A/");
    EXPECT_EQ(setup.Get(CShootSetup::PREFIX), u"");
    EXPECT_EQ(setup.Get(CShootSetup::ICC_FLAG), u"0");
    EXPECT_EQ(setup.Get(CShootSetup::ISO), u"Default");
    EXPECT_EQ(app.ShootSetups().DefaultName(), u"Default");
    EXPECT_TRUE(log.Contains(1, "Failed to set time on Orin Tessa"));
}

}  // namespace
