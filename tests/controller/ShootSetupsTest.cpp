#include "app/controller/ShootSetups.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

const char16_t* const kStudio =
    u"SetupName=Studio,ShootingFolder=./Part1/Folder/,ISO=100,ImageQuality=Best,Framing=Full,Toning=None,"
    u"Light=Flash,SharpTable=Normal,InputProfile=Standard,OutputProfile=sRGB,CameraType=Studio,ICCFlag=1,Prefix=S";

TEST(ShootSetupParse, ShortSetupGetsSlashWarningAndDefaults)
{
    testsupport::LogCapture log;
    CShootSetups setups;
    setups.Parse(u"SetupName=Quick,ShootingFolder=./Part1/Quick");
    ASSERT_EQ(setups.Count(), 1);
    const CShootSetup& setup = setups.List()[0];
    EXPECT_EQ(setup.Name(), u"Quick");
    EXPECT_EQ(setup.ShootingFolder(), u"./Part1/Quick/");
    EXPECT_EQ(setup.Get(CShootSetup::ISO), u"Default");
    EXPECT_EQ(setup.Get(CShootSetup::CAMERA_TYPE), u"Default");
    EXPECT_EQ(setup.Get(CShootSetup::ICC_FLAG), u"0");
    EXPECT_EQ(setup.Get(CShootSetup::PREFIX).size(), 1u);
    EXPECT_TRUE(log.Contains(2, "Actual number of shoot setup items is wrong"));
    EXPECT_FALSE(setups.IsExtended());
}

TEST(ShootSetupParse, FieldWithoutEqualsEndsThatSetupOnly)
{
    CShootSetups setups;
    setups.Parse(u"SetupName=A,ISO=100,broken,ISO=800;SetupName=B,ISO=200");
    ASSERT_EQ(setups.Count(), 2);
    EXPECT_EQ(setups.List()[0].Get(CShootSetup::ISO), u"100");
    EXPECT_EQ(setups.List()[1].Get(CShootSetup::ISO), u"200");
}

TEST(ShootSetupParse, KeysMatchByPrefixInTheCameraOrderAndEmptyKeysAreSkipped)
{
    CShootSetups setups;
    setups.Parse(u"SetupName=A,I=400,Out=AdobeRGB,=Renamed,Unknown=x");
    ASSERT_EQ(setups.Count(), 1);
    const CShootSetup& setup = setups.List()[0];
    EXPECT_EQ(setup.Name(), u"A");
    EXPECT_EQ(setup.Get(CShootSetup::ISO), u"400");  // ISO comes before ImageQuality and InputProfile
    EXPECT_EQ(setup.Get(CShootSetup::OUTPUT_PROFILE), u"AdobeRGB");
}

TEST(ShootSetupParse, PrefixOrIccFlagMarksTheSetupsExtended)
{
    CShootSetups setups;
    setups.Parse(u"SetupName=A,ICCFlag=1");
    EXPECT_TRUE(setups.IsExtended());
}

TEST(SetupString, WithoutExtendedFieldsThereIsNoPrefix)
{
    CShootSetups setups;
    setups.Parse(kStudio);
    const std::u16string plain = setups.List()[0].SetupString(false);
    EXPECT_EQ(plain,
              u"SetupName=Studio,ShootingFolder=./Part1/Folder/,ISO=100,ImageQuality=Best,Framing=Full,Toning=None,"
              u"Light=Flash,SharpTable=Normal,InputProfile=Standard,OutputProfile=sRGB,CameraType=Studio,ICCFlag=1");
    EXPECT_EQ(setups.List()[0].SetupString(true), plain + u",Prefix=S");
}

TEST(SetupString, ReadsBackToTheSameSetup)
{
    CShootSetups setups;
    setups.Parse(kStudio);
    CShootSetups again;
    again.Parse(setups.List()[0].SetupString(true));
    ASSERT_EQ(again.Count(), 1);
    EXPECT_EQ(again.List()[0], setups.List()[0]);
}

TEST(CopySetup, CreatesThenRefreshesTheUserCopy)
{
    CShootSetups setups;
    setups.Parse(kStudio);
    const int32_t copy = setups.CopySetup(u"studio");
    ASSERT_EQ(copy, 1);
    EXPECT_EQ(setups.List()[1].Name(), u"studio.1");
    EXPECT_EQ(setups.List()[1].Get(CShootSetup::ISO), u"100");
    setups.List()[1].Set(CShootSetup::ISO, u"800");
    EXPECT_EQ(setups.CopySetup(u"studio"), 1);
    EXPECT_EQ(setups.List()[1].Get(CShootSetup::ISO), u"100");
    EXPECT_EQ(setups.CopySetup(u"Nothing"), -1);
}

TEST(IsShootingFolder, RefusesTheFolderAndItsParentsWithTheSetupsMessage)
{
    CShootSetups setups;
    setups.Parse(std::u16string(kStudio) + u";SetupName=Mine.1,ShootingFolder=./Part2/Mine/");
    std::u16string message;
    EXPECT_TRUE(setups.IsShootingFolder(u"./Part1/", message));
    EXPECT_EQ(message, u"You are about to delete the shooting folder that belongs to predefined shoot setup \"Studio\". "
                       u"This folder cannot be\tdeleted.");
    EXPECT_TRUE(setups.IsShootingFolder(u"./Part2/Mine/", message));
    EXPECT_EQ(message, u"You are about to delete the shooting folder that belongs to shoot setup \"Mine.1\". Please "
                       u"select another shooting folder for this setup from Capture Settings dialog and try again.");
    message.clear();
    EXPECT_FALSE(setups.IsShootingFolder(u"./Part1/Other/", message));
    EXPECT_TRUE(message.empty());
}

TEST(CanFormatPartition, RefusesTheDiskOfTheDefaultSetupOnly)
{
    CShootSetups setups;
    setups.Parse(std::u16string(kStudio) + u";SetupName=Away,ShootingFolder=./Part2/Away/");
    setups.SetDefaultName(u"STUDIO");
    std::u16string message;
    EXPECT_FALSE(setups.CanFormatPartition(u"./part1/", message));
    EXPECT_EQ(message, u"The shooting folder is on this disk. In order to format the disk, you must change the "
                       u"location of the shooting folder to another disk.");
    EXPECT_TRUE(setups.CanFormatPartition(u"./Part2/", message));
}

TEST(FieldText, CharactersThatBreakTheCommandOrTheSetupStringAreRefused)
{
    std::u16string message;
    for (const char16_t* bad : {u"Studio\"x", u"a>b", u"a<b", u"a&b", u"a,b", u"a;b", u"a=b"}) {
        EXPECT_FALSE(CShootSetups::IsAcceptableFieldText(CShootSetup::SETUP_NAME, bad, message));
        EXPECT_NE(message.find(u"cannot hold"), std::u16string::npos);
    }
    EXPECT_TRUE(CShootSetups::IsAcceptableFieldText(CShootSetup::ISO, u"400", message));
    EXPECT_FALSE(CShootSetups::IsAcceptableFieldText(CShootSetup::SHOOTING_FOLDER, u"./Part1/../../x/", message));
    EXPECT_FALSE(CShootSetups::IsAcceptableFieldText(CShootSetup::SHOOTING_FOLDER, u"./Part1/NoSlash", message));
    EXPECT_TRUE(CShootSetups::IsAcceptableFieldText(CShootSetup::SHOOTING_FOLDER, u"./Part1/New/", message));
}

TEST(SaveAttribute, PredefinedDefaultIsChosenByNameWhateverItsOtherFieldsHold)
{
    CShootSetups setups;
    // The camera's own setup may hold text the command could not carry; only its name is sent.
    setups.Parse(u"SetupName=Mono,ShootingFolder=./Part1/Mono/,Toning=B&W");
    setups.SetDefaultName(u"Mono");
    std::u16string name;
    std::u16string value;
    std::u16string reason;
    EXPECT_TRUE(setups.BuildSaveAttribute(name, value, reason));
    EXPECT_EQ(name, u"DefaultShootSetup");
    EXPECT_EQ(value, u"Mono");

    // A user copy goes out whole, so the same text is refused with the reason.
    ASSERT_TRUE(setups.SetImgProp(CShootSetup::ISO, u"400", nullptr, nullptr));
    EXPECT_EQ(setups.DefaultName(), u"Mono.1");
    EXPECT_FALSE(setups.BuildSaveAttribute(name, value, reason));
    EXPECT_TRUE(value.empty());
    EXPECT_NE(reason.find(u"B&W"), std::u16string::npos);
}

}  // namespace
