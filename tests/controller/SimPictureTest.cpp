// New pictures, browsing and shoot setups against the simulated camera.
#include "app/controller/PrivateMessages.h"
#include "app/platform/Paths.h"
#include "app/platform/TextConvert.h"
#include "app/storage/Cache.h"
#include "tests/controller/SimControllerFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fs = std::filesystem;
using namespace controllertest;

namespace {

fs::path LocalPreview(const std::string& folder, const std::string& name)
{
    return platform::Paths::CapturesFolder() / folder / name;
}

std::vector<std::u16string> PendingNames(const CControlApplication& app)
{
    std::vector<std::u16string> names;
    for (const CCurrentDirectoryEntry& entry : app.PendingPictures()) {
        names.push_back(entry.m_strName);
    }
    return names;
}

TEST(SimPicture, ABurstDownloadsTheNewestPictureAndRecordsTheOthersAsWaiting)
{
    SimController sim(2);
    ASSERT_TRUE(sim.Start());
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(sim.camera.Command("shoot").rfind("OK", 0), 0u);
    }
    ASSERT_EQ(sim.ProcessPictureMessages(3), 3);

    CControlApplication& app = sim.app;
    EXPECT_EQ(app.NewestPicture(), u"./Part1/Folder/Pic0005.mos");
    ASSERT_EQ(app.CurrentDirectory().GetArrLength(), 5);
    EXPECT_EQ(app.CurrentEntry()->m_strName, u"Pic0005.mos");
    EXPECT_EQ(app.StorageModel()->GetCurrentFileName(), u"./Part1/Folder/Pic0005.mos");
    EXPECT_TRUE(fs::exists(LocalPreview("Part1/Folder", "Pic0005.jpg")));
    EXPECT_FALSE(fs::exists(LocalPreview("Part1/Folder", "Pic0003.jpg")));
    EXPECT_FALSE(fs::exists(LocalPreview("Part1/Folder", "Pic0004.jpg")));
    EXPECT_EQ(PendingNames(app), (std::vector<std::u16string>{u"Pic0003.mos", u"Pic0004.mos"}));
    EXPECT_TRUE(sim.log.Contains(
        "CControlApplication::OnPictureTaken() Image downloading was skiped due to burst mode: ./Part1/Folder/Pic0003.mos"));
    EXPECT_TRUE(sim.log.Contains(
        "CControlApplication::OnPictureTaken() Image downloading was skiped due to burst mode: ./Part1/Folder/Pic0004.mos"));
    EXPECT_EQ(sim.camera.Stats().received["GetImage"], 2);  // the start's last picture and the newest one
    // The exposures left went down with each shot; the dispatcher shows the exposure view.
    EXPECT_EQ(app.StatusRecord().exposuresLeft, 809);
    EXPECT_EQ(app.CurrentOperation(), 7);
}

TEST(SimPicture, TheCamerasBurstCommandAnnouncesPicturesBackToBack)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    const int batteryBefore = sim.app.StatusRecord().batteryPercent;
    ASSERT_EQ(sim.camera.Command("burst 5").rfind("OK burst 5", 0), 0u);
    ASSERT_EQ(sim.ProcessPictureMessages(5), 5);
    EXPECT_EQ(sim.app.CurrentEntry()->m_strName, u"Pic0006.mos");
    EXPECT_EQ(PendingNames(sim.app).size(), 4u);
    EXPECT_EQ(sim.app.StatusRecord().batteryPercent, batteryBefore - 1);  // a percent every fifth shot
    EXPECT_EQ(sim.app.StatusRecord().exposuresLeft, 807);
}

TEST(SimPicture, AnOlderBurstPictureAloneIsNotShown)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    sim.app.SetNewestPicture(u"./Part1/Folder/Pic0009.mos");
    auto message = MakeCameraMessage(PICTURE_TAKEN, {{"file_name", "./Part1/Folder/Pic0001.mos"}, {"exp_left", "5"}});
    bool checkDisk = false;
    bool show = true;
    EXPECT_TRUE(sim.app.OnPictureTaken(message.get(), checkDisk, show));
    EXPECT_FALSE(show);
    EXPECT_TRUE(checkDisk);
    EXPECT_EQ(sim.app.StatusRecord().exposuresLeft, 5);
}

TEST(SimPicture, APictureInAFolderTheModelDoesNotKnowCreatesEveryLevel)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    sim.AddPicture("Part2/New/Deep", "Pic0001.jpg");
    sim.app.SetNewestPicture(u"./Part2/New/Deep/Pic0001.mos");
    auto message = MakeCameraMessage(PICTURE_TAKEN, {{"file_name", "./Part2/New/Deep/Pic0001.mos"}});
    EventParameter parameter;
    parameter.message = message.get();
    EXPECT_TRUE(sim.app.ProcessEvent(ON_PICTURE_TAKEN, &parameter));

    CCache& cache = *sim.app.StorageModel();
    EXPECT_NE(cache.FindInTree(u"./Part2/New/"), nullptr);
    EXPECT_NE(cache.FindInTree(u"./Part2/New/Deep/"), nullptr);
    EXPECT_EQ(sim.app.CurrentFolderPath(), u"./Part2/New/Deep/");
    EXPECT_EQ(sim.app.ShootingFolder(), u"./Part2/New/Deep/");
    EXPECT_EQ(sim.app.ShootSetups().DefaultSetup()->ShootingFolder(), u"./Part2/New/Deep/");
    ASSERT_NE(sim.app.CurrentEntry(), nullptr);
    EXPECT_EQ(sim.app.CurrentEntry()->m_strName, u"Pic0001.mos");
    EXPECT_TRUE(fs::exists(LocalPreview("Part2/New/Deep", "Pic0001.jpg")));
}

TEST(SimPicture, AnErrorCodeIsShownAndNothingElseIsRead)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    auto message = MakeCameraMessage(PICTURE_TAKEN, {{"error_code", "8179"}, {"file_name", "./Part1/Folder/X.mos"}});
    bool checkDisk = false;
    bool show = false;
    EXPECT_TRUE(sim.app.OnPictureTaken(message.get(), checkDisk, show));
    ASSERT_EQ(sim.recorder.messages.size(), 1u);
    EXPECT_EQ(sim.app.StorageModel()->FindInTree(u"./Part1/Folder/X.mos"), nullptr);
}

TEST(SimPicture, AnUnsafeFileNameFailsAndIsResynchronised)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    auto message = MakeCameraMessage(PICTURE_TAKEN, {{"file_name", "./Part1/../../etc/passwd"}});
    EventParameter parameter;
    parameter.message = message.get();
    sim.app.ProcessEvent(ON_PICTURE_TAKEN, &parameter);
    EXPECT_TRUE(sim.log.Contains(1, "Failed to handle PicrureTaken message"));
    EXPECT_FALSE(fs::exists(platform::Paths::CapturesFolder().parent_path() / "etc"));
}

TEST(SimPicture, BrowsingStepsOverPicturesTheCameraCannotShow)
{
    SimController sim(0);
    sim.AddPicture("Part1/Folder", "Pic0001.jpg");
    sim.AddPicture("Part1/Folder", "Pic0002.jpg", false);
    sim.AddPicture("Part1/Folder", "Pic0003.jpg");
    ASSERT_TRUE(sim.Start());
    CControlApplication& app = sim.app;
    ASSERT_EQ(app.CurrentEntry()->m_strName, u"Pic0003.mos");

    EXPECT_TRUE(app.ProcessEvent(ON_ONE_VIEW_BROWSE_BACK));
    EXPECT_EQ(app.CurrentEntry()->m_strName, u"Pic0001.mos");
    EXPECT_EQ(app.CurrentDirectory()[1].m_bDisplayable, 0);
    EXPECT_EQ(app.StorageModel()->GetCurrentFileName(), u"./Part1/Folder/Pic0001.mos");
    EXPECT_TRUE(fs::exists(LocalPreview("Part1/Folder", "Pic0001.jpg")));

    EXPECT_TRUE(app.ProcessEvent(ON_ONE_VIEW_BROWSE_FORWARD));
    EXPECT_EQ(app.CurrentEntry()->m_strName, u"Pic0003.mos");
    EXPECT_TRUE(app.ProcessEvent(ON_ONE_VIEW_BROWSE_FORWARD));
    EXPECT_EQ(app.CurrentEntry()->m_strName, u"Pic0003.mos");
}

TEST(SimPicture, ALastPictureTheCameraCannotShowIsDroppedAtStart)
{
    SimController sim(0);
    sim.AddPicture("Part1/Folder", "Pic0001.jpg");
    sim.AddPicture("Part1/Folder", "Pic0002.jpg", false);
    ASSERT_TRUE(sim.Start());
    ASSERT_EQ(sim.app.CurrentDirectory().GetArrLength(), 1);
    EXPECT_EQ(sim.app.CurrentEntry()->m_strName, u"Pic0001.mos");
}

TEST(SimPicture, BrowsingOnlineStopsAtBothEnds)
{
    SimController sim(3);
    ASSERT_TRUE(sim.Start());
    EXPECT_TRUE(sim.app.ProcessEvent(ON_ONE_VIEW_BROWSE_FORWARD));
    EXPECT_EQ(sim.app.CurrentIndex(), 2);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(sim.app.ProcessEvent(ON_ONE_VIEW_BROWSE_BACK));
    }
    EXPECT_EQ(sim.app.CurrentIndex(), 0);
    EXPECT_EQ(sim.app.StorageModel()->GetCurrentFileName(), u"./Part1/Folder/Pic0001.mos");
}

TEST(SimSetup, APredefinedDefaultSendsOnlyItsName)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    sim.camera.Settings().Set("DefaultShootSetup", "Outdoor");
    EXPECT_TRUE(sim.app.ProcessEvent(ON_SAVE_SETUP));
    EXPECT_EQ(sim.camera.Settings().Get("DefaultShootSetup").value_or(""), "Studio");
    EXPECT_TRUE(sim.recorder.messages.empty());
}

TEST(SimSetup, AChangedFieldMakesAUserCopyWhoseWholeSetupIsSentWithItsPrefix)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    CControlApplication& app = sim.app;
    ASSERT_TRUE(app.SetImgProp(CShootSetup::ISO, u"800"));
    EXPECT_EQ(app.ShootSetups().DefaultName(), u"Studio.1");
    ASSERT_EQ(app.ShootSetups().Count(), 4);
    EXPECT_EQ(app.ShootSetups().List()[0].Get(CShootSetup::ISO), u"100");
    ASSERT_TRUE(app.SetImgProp(CShootSetup::ISO, u"1600"));
    EXPECT_EQ(app.ShootSetups().Count(), 4);
    ASSERT_TRUE(app.SetImgProp(CShootSetup::ISO, u"1600"));

    EXPECT_TRUE(app.ProcessEvent(ON_SAVE_SETUP));
    const std::string setups = sim.camera.Settings().Get("ShootSetup").value_or("");
    EXPECT_NE(setups.find(";SetupName=Studio.1,ShootingFolder=./Part1/Folder/,ISO=1600,ImageQuality=Best,Framing=Full,"
                          "Toning=None,Light=Flash,SharpTable=Normal,InputProfile=Standard,OutputProfile=sRGB,"
                          "CameraType=Studio,ICCFlag=1,Prefix=S"),
              std::string::npos);
    EXPECT_EQ(sim.camera.Settings().Get("DefaultShootSetup").value_or(""), "Studio.1");
    // The shooting folder is refilled with its last picture current.
    EXPECT_EQ(app.CurrentFolderPath(), u"./Part1/Folder/");
    EXPECT_EQ(app.CurrentEntry()->m_strName, u"Pic0001.mos");
}

TEST(SimSetup, WithoutExtendedSetupsThePrefixIsNotSent)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    auto message = MakeCameraMessage(
        SYNC_REPLY, {{"ShootSetup", "SetupName=Plain,ShootingFolder=./Part1/Folder/,ISO=100"}, {"DefaultShootSetup", "Plain"}});
    ASSERT_TRUE(sim.app.OnSynchronize(message.get()));
    ASSERT_TRUE(sim.app.SetImgProp(CShootSetup::LIGHT, u"Candle"));
    EXPECT_EQ(sim.app.ParameterLists().m_saLight[sim.app.ParameterLists().m_saLight.GetArrLength() - 1], u"Candle");
    std::u16string reason;
    ASSERT_TRUE(sim.app.SaveShootSetup(reason));
    const std::string setups = sim.camera.Settings().Get("ShootSetup").value_or("");
    const size_t at = setups.find("SetupName=Plain.1,");
    ASSERT_NE(at, std::string::npos);
    const std::string sent = setups.substr(at, setups.find(';', at) - at);
    EXPECT_NE(sent.find(",Light=Candle,"), std::string::npos);
    EXPECT_EQ(sent.find("Prefix"), std::string::npos);
}

TEST(SimSetup, TextTheCommandCannotCarryIsRefusedAndNothingIsSent)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    std::u16string message;
    EXPECT_FALSE(sim.app.SetImgProp(CShootSetup::TONING, u"Warm\" evil=\"1", &message));
    EXPECT_FALSE(message.empty());
    EXPECT_FALSE(sim.app.SetImgProp(CShootSetup::SHOOTING_FOLDER, u"./Part1/../../x/", &message));
    EXPECT_EQ(sim.app.ShootSetups().DefaultName(), u"Studio");
    EXPECT_EQ(sim.app.ShootSetups().Count(), 3);
}

TEST(SimSetup, SetCameraAppliesTheFramingThenSavesTheSetup)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    sim.camera.Settings().Set("DefaultShootSetup", "Outdoor");
    EventParameter parameter;
    parameter.hasIndex = true;
    parameter.index = 1;
    EXPECT_TRUE(sim.app.ProcessEvent(ON_SET_CAMERA, &parameter));
    EXPECT_EQ(sim.camera.Stats().received["ImageFunction"], 1);
    EXPECT_EQ(sim.camera.Settings().Get("DefaultShootSetup").value_or(""), "Studio");

    parameter.index = 99;
    EXPECT_FALSE(sim.app.ProcessEvent(ON_SET_CAMERA, &parameter));
    ASSERT_EQ(sim.recorder.messages.size(), 1u);
    EXPECT_EQ(sim.recorder.messages[0].rfind(u"Failed to set new camera parameters.\n", 0), 0u);
}

}  // namespace

namespace {

TEST(SimBackground, ClosingTheViewsEmptiesTheDirectoryAndARelaunchRefillsItFromTheCamera)
{
    SimController sim(3);
    ASSERT_TRUE(sim.Start());
    sim.app.ProcessEvent(ON_CLOSE_VISUAL_OBJECTS);
    {
        std::lock_guard lock(sim.app.ControllerLock());
        EXPECT_EQ(sim.app.CurrentDirectory().GetArrLength(), 0);
        EXPECT_EQ(sim.app.CurrentEntry(), nullptr);
        EXPECT_EQ(sim.app.StorageModel()->GetCurrentDirectory(), nullptr);
    }
    EXPECT_TRUE(sim.app.IsSuspended());
    sim.app.SuspendEvent().Set();
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard lock(sim.app.ControllerLock());
            return !sim.app.IsSuspended() && sim.app.CurrentDirectory().GetArrLength() == 3;
        },
        10000));
    std::lock_guard lock(sim.app.ControllerLock());
    EXPECT_EQ(sim.app.CurrentEntry()->m_strName, u"Pic0003.mos");
    EXPECT_EQ(sim.app.CurrentFolderPath(), u"./Part1/Folder/");
}

TEST(SimScale, PreviewCoordinatesScaleToThePictureDimensionsOfTheCamera)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    sim.app.SetScaleFactorsForPreview(544, 408);  // the camera's pictures are 5440 x 4080
    int x = 100;
    int y = 40;
    sim.app.ToPictureCoordinates(x, y);
    EXPECT_EQ(x, 1000);
    EXPECT_EQ(y, 400);
    sim.app.SetScaleFactorsForPreview(408, 544);  // a portrait preview of a landscape picture
    x = 100;
    y = 40;
    sim.app.ToPictureCoordinates(x, y);
    EXPECT_EQ(x, 1000);
    EXPECT_EQ(y, 400);
}

}  // namespace

namespace {

TEST(SimPicture, WhileABurstIsProcessedThePictureOnTheScreenStaysCurrent)
{
    SimController sim(2);
    ASSERT_TRUE(sim.Start());
    ASSERT_EQ(sim.camera.Command("burst 2").rfind("OK burst 2", 0), 0u);
    std::vector<platform::Message> messages;
    for (int i = 0; i < 2; ++i) {
        std::optional<platform::Message> message = sim.inbox.WaitFor(1233, 10000);
        ASSERT_TRUE(message);
        messages.push_back(std::move(*message));
    }
    EventParameter parameter;
    parameter.message = messages[0].payload.get();
    EXPECT_TRUE(sim.app.ProcessEvent(ON_PICTURE_TAKEN, &parameter));
    EXPECT_EQ(sim.app.CurrentEntry()->m_strName, u"Pic0002.mos");
    EXPECT_NE(sim.app.CurrentEntry()->m_dtDate, 0.0);
    parameter.message = messages[1].payload.get();
    EXPECT_TRUE(sim.app.ProcessEvent(ON_PICTURE_TAKEN, &parameter));
    EXPECT_EQ(sim.app.CurrentEntry()->m_strName, u"Pic0004.mos");
}

}  // namespace

namespace {

TEST(SimStatus, TheBatteryAndExposuresLeftAreReadFromTheCameraAndALowBatteryRaisesTheAlarm)
{
    SimController sim(1);
    ASSERT_TRUE(sim.Start());
    sim.camera.Settings().Set("battery_percent", "20");
    sim.camera.Settings().Set("exp_left", "3");
    EXPECT_TRUE(sim.app.ProcessEvent(ON_RETRIEVE_DISK_AND_BATTERY_STATUS));
    EXPECT_EQ(sim.app.StatusRecord().batteryPercent, 20);
    EXPECT_EQ(sim.app.StatusRecord().exposuresLeft, 3);
    sim.app.SetLastAlarmTick(0);
    sim.app.CheckDiskAndBatteryThresholds(true, false);
    const auto calls = sim.recorder.views[static_cast<size_t>(ViewId::Exposure)]->Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "DisplayDiskAndBatteryStatus"), calls.end());
}

}  // namespace
