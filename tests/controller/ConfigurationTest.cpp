#include "app/controller/Configuration.h"
#include "app/platform/Registry.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

const std::string kRoot = platform::kOrinRootKey;

TEST(Configuration, PacketSizeZeroIsRejectedWithTheWarningAndTheOldSizeKept)
{
    testsupport::TempHome home;
    testsupport::LogCapture log;
    platform::DefaultRegistry().WriteDword(platform::RegistryRoot::LocalMachine, kRoot, "PacketSize", 0);
    CConfiguration config;
    int32_t packetSize = 1024;
    EXPECT_TRUE(config.LoadSettings(packetSize));
    EXPECT_EQ(packetSize, 1024);
    EXPECT_TRUE(log.Contains(2, "Invalid entry found: Software\\Vantor\\Orin KX-20\\PacketSize: 0!"));
}

TEST(Configuration, PacketSizeDefaultsTo1536Bytes)
{
    testsupport::TempHome home;
    CConfiguration config;
    int32_t packetSize = 1024;
    config.LoadSettings(packetSize);
    EXPECT_EQ(packetSize, 1536);
}

TEST(Configuration, TransportTwoIsWarnedWithRootAndSubkeyJoinedAndSerialUsed)
{
    testsupport::TempHome home;
    testsupport::LogCapture log;
    CConfiguration config;
    ASSERT_TRUE(config.WriteNumber("Bluetooth", "Transport", 2));
    EXPECT_EQ(config.ReadTransport(), 0);
    EXPECT_TRUE(log.Contains(2, "Invalid entry found: Software\\Vantor\\Orin KX-20Bluetooth\\Transport: 2!"));
}

TEST(Configuration, SaveSettingsStoresTheTransportUnderBluetooth)
{
    testsupport::TempHome home;
    CConfiguration config;
    EXPECT_TRUE(config.SaveSettings(1));
    EXPECT_EQ(platform::DefaultRegistry().ReadDword(platform::RegistryRoot::LocalMachine, kRoot + "\\Bluetooth",
                                                    "Transport"),
              std::optional<uint32_t>(1));
    EXPECT_EQ(config.ReadTransport(), 1);
}

TEST(Configuration, WorkingPathRoundTripsWideTextAndIsCutAt260)
{
    testsupport::TempHome home;
    CConfiguration config;
    std::u16string path;
    EXPECT_FALSE(config.ReadWorkingPath(path));
    EXPECT_TRUE(config.WriteWorkingPath(u"./Part1/Caf\u00e9/"));
    EXPECT_TRUE(config.ReadWorkingPath(path));
    EXPECT_EQ(path, u"./Part1/Caf\u00e9/");
    EXPECT_TRUE(config.WriteWorkingPath(std::u16string(300, u'a')));
    EXPECT_TRUE(config.ReadWorkingPath(path));
    EXPECT_EQ(path.size(), 260u);
}

TEST(Configuration, MissingNumbersReadAsTheirDefault)
{
    testsupport::TempHome home;
    CConfiguration config;
    EXPECT_EQ(config.ReadNumber("Serial", "MinPacketSize", 2048), 2048);
    EXPECT_TRUE(config.WriteNumber("Serial", "MinPacketSize", 4096));
    EXPECT_EQ(config.ReadNumber("Serial", "MinPacketSize", 2048), 4096);
}

}  // namespace
