// The serial transport over a real pseudo-terminal: bytes on the wire, cutting the stream into
// messages, raw payload reads and the far end vanishing.
#include "app/link/CommPort.h"
#include "app/platform/Registry.h"
#include "tests/link/PtyPeer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using linktest::PtyPeer;

class CommPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_port = std::make_unique<CCommPort>(m_peer.Path());
        ASSERT_TRUE(m_port->OpenConnection());
        m_port->SetCommandTimeout(300);
    }

    std::string Read()
    {
        std::string message;
        EXPECT_TRUE(m_port->ReadCommand(message));
        return message;
    }

    testsupport::TempHome m_home;
    testsupport::LogCapture m_log;
    PtyPeer m_peer;
    std::unique_ptr<CCommPort> m_port;
};

TEST_F(CommPortTest, WriteDataPutsExactlyTheBytesOnTheLine)
{
    const std::string command = "^<RequestSync />";
    ASSERT_TRUE(m_port->WriteData(reinterpret_cast<const uint8_t*>(command.data()), 16));
    const std::vector<std::string> commands = m_peer.ReadCommands(1);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(m_peer.Received(), command);
}

TEST_F(CommPortTest, WriteDataOfNothingIsRefusedWithThreeLogLines)
{
    const uint8_t byte = 0;
    EXPECT_FALSE(m_port->WriteData(&byte, 0));
    EXPECT_TRUE(m_log.Contains(1, "CCommPort::WriteData() m_bCommPortOpen: 1"));
    EXPECT_TRUE(m_log.Contains(1, "CCommPort::WriteData() pbtData:"));
    EXPECT_TRUE(m_log.Contains(1, "CCommPort::WriteData() uiDataSize: 0"));
}

TEST_F(CommPortTest, WriteTheLineDoesNotTakeIsAFailureNotASuccess)
{
    // Nobody reads the far end: the line takes what fits in its queue and no more.
    const std::vector<uint8_t> block(4 * 1024 * 1024, 'w');
    EXPECT_FALSE(m_port->WriteData(block.data(), static_cast<uint32_t>(block.size())));
    EXPECT_TRUE(m_log.Contains(1, "CCommPort::WriteData() WriteFile failed"));
    EXPECT_TRUE(m_log.Contains(1, "of 4194304 bytes written"));
}

TEST_F(CommPortTest, MessageSplitAcrossReadsIsDeliveredOnceItsEndArrives)
{
    // The reader has consumed the caret itself; the transport hands back "^" + the rest.
    std::thread writer([&] {
        m_peer.Write("<Sync a=\"1");
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        m_peer.Write("\" b=\"2\" /");
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        m_peer.Write(">");
    });
    EXPECT_EQ(Read(), "^<Sync a=\"1\" b=\"2\" />");
    writer.join();
}

TEST_F(CommPortTest, TwoMessagesInOneReadComeOutOneAfterTheOther)
{
    m_peer.Write("<Ack />^<Sync x=\"1\" />");
    EXPECT_EQ(Read(), "^<Ack />");
    // The second is already held by the transport: it comes out even with the line silent.
    EXPECT_GT(m_port->GetBufferedCount(), 0u);
    EXPECT_EQ(Read(), "^^<Sync x=\"1\" />");
}

TEST_F(CommPortTest, BytesAfterTheHeaderAreTheFirstPayloadBytes)
{
    m_peer.Write("<Ack ATTACHMENT=\"6\" />abc");
    EXPECT_EQ(Read(), "^<Ack ATTACHMENT=\"6\" />");
    m_peer.Write("def");
    uint8_t payload[6] = {};
    ASSERT_EQ(m_port->ReadBytes(payload, 6), 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(payload), 6), "abcdef");
}

TEST_F(CommPortTest, BytesAvailableCountsWhatTheTransportAlreadyHolds)
{
    m_peer.Write("<Ack />^<Sync />");
    EXPECT_EQ(Read(), "^<Ack />");
    EXPECT_GE(m_port->GetBytesAvailable(), 9u);
}

TEST_F(CommPortTest, SilenceEndsAHalfMessageButKeepsItsBytes)
{
    m_peer.Write("<Sync a=\"1\" ");
    std::string message;
    EXPECT_FALSE(m_port->ReadCommand(message));
    EXPECT_TRUE(m_log.Contains("break because timeout"));
    EXPECT_TRUE(m_log.Contains(1, "command reading failed"));
    m_peer.Write("/>");
    EXPECT_EQ(Read(), "^<Sync a=\"1\" />");
}

TEST_F(CommPortTest, MessageLongerThanSixteenKilobytesArrivesWhole)
{
    // A folder listing of some five hundred pictures is already this long.
    const std::string value(200000, 'p');
    std::thread writer([&] { m_peer.Write("<Ack list=\"" + value + "\" />"); });
    const std::string message = Read();
    writer.join();
    EXPECT_EQ(message, "^<Ack list=\"" + value + "\" />");
}

TEST_F(CommPortTest, BufferFullOfNoiseIsDiscardedAndTheNextMessageStillArrives)
{
    const std::string noise(CCommPort::kMaxReceiveBuffer + 1000, 'x');
    std::thread writer([&] { m_peer.Write(noise); });
    m_port->SetCommandTimeout(2000);
    std::string message;
    EXPECT_FALSE(m_port->ReadCommand(message));
    EXPECT_TRUE(m_log.Contains(1, "Receive buffer full without the end of a message"));
    writer.join();
    m_port->PurgeCommPort();
    m_peer.Write("<Ack />");
    EXPECT_EQ(Read(), "^<Ack />");
}

TEST_F(CommPortTest, PurgeDropsHeldBytesToo)
{
    m_peer.Write("<Ack />^<Sync />");
    EXPECT_EQ(Read(), "^<Ack />");
    m_port->PurgeCommPort();
    EXPECT_EQ(m_port->GetBufferedCount(), 0u);
    m_peer.Write("<ReSyncResponse />");
    EXPECT_EQ(Read(), "^<ReSyncResponse />");
}

TEST_F(CommPortTest, QuietLineIsNotTakenForAVanishedFarEnd)
{
    // A tty read returns no bytes when the line is quiet, as when a purge has just emptied
    // what a reader was promised: that is a wait, never a far end gone.
    m_peer.Write("<Ack");
    m_port->PurgeCommPort();
    uint8_t bytes[4] = {};
    EXPECT_EQ(m_port->ReadBytes(bytes, sizeof bytes), 0);
    EXPECT_TRUE(m_port->IsConnected());
    EXPECT_FALSE(m_log.Contains("Far end gone"));
    m_peer.Write("<Ack />");
    EXPECT_EQ(Read(), "^<Ack />");
}

TEST_F(CommPortTest, VanishedFarEndIsNotConnectedAndReadsReportIt)
{
    EXPECT_TRUE(m_port->IsConnected());
    m_peer.Unplug();
    EXPECT_FALSE(m_port->IsConnected());
    EXPECT_EQ(m_port->GetBytesAvailable(), 0u);
    uint8_t byte = 0;
    EXPECT_EQ(m_port->ReadBytes(&byte, 1), -1);
    const std::string text = "^<Ack />";
    EXPECT_FALSE(m_port->WriteData(reinterpret_cast<const uint8_t*>(text.data()), 8));
}

TEST_F(CommPortTest, ReturningFarEndIsFoundByOpeningAgain)
{
    m_peer.Unplug();
    EXPECT_FALSE(m_port->IsConnected());
    m_peer.Plug();
    ASSERT_TRUE(m_port->OpenConnection());
    EXPECT_TRUE(m_port->IsConnected());
    m_peer.Write("<Ack />");
    EXPECT_EQ(Read(), "^<Ack />");
}

TEST_F(CommPortTest, CloseAndReopen)
{
    EXPECT_TRUE(m_port->CloseConnection());
    EXPECT_FALSE(m_port->IsConnected());
    EXPECT_EQ(m_port->GetHandle(), -1);
    EXPECT_TRUE(m_port->ReOpenCommPort());
    EXPECT_TRUE(m_port->IsConnected());
    m_peer.Write("<Ack />");
    EXPECT_EQ(Read(), "^<Ack />");
}

TEST_F(CommPortTest, LineErrorsAndStateGoToTheLog)
{
    m_port->LogState();
    m_port->LogCommErrors();
    EXPECT_TRUE(m_log.Contains("CProtocolLayer::ReadImage ClearCommError return:"));
    EXPECT_TRUE(m_log.Contains("CCommPort::LogState"));
}

TEST(CommPortSettings, DeviceBaudRateAndTimeoutsComeFromTheRegistry)
{
    testsupport::TempHome home;
    testsupport::LogCapture log;
    platform::Registry registry = platform::DefaultRegistry();
    const std::string root = platform::kOrinRootKey;
    registry.WriteString(platform::RegistryRoot::LocalMachine, root + "\\Serial", "Device", "/dev/ttyTEST9");
    registry.WriteDword(platform::RegistryRoot::LocalMachine, root, "Baudrate", 19200);
    registry.WriteDword(platform::RegistryRoot::LocalMachine, root, "ReadIntervalTimeout", 77);
    registry.WriteDword(platform::RegistryRoot::LocalMachine, root + "\\Serial", "MinPacketSize", 4096);
    CCommPort port;
    EXPECT_EQ(port.GetDevicePath(), "/dev/ttyTEST9");
    EXPECT_EQ(port.GetBaudRate(), 19200u);
    EXPECT_EQ(port.GetMinPacketSize(), 4096u);
    EXPECT_EQ(port.GetGrowUpPacketSize(), 2048u);
    EXPECT_TRUE(log.Contains("CCommPort::ReadIntervalTimeout\t\t77"));
    EXPECT_TRUE(log.Contains("CCommPort::ReadCommandSleepTimeout\t\t10"));
    EXPECT_TRUE(port.SupportsPacketSize());
    EXPECT_FALSE(port.OpenConnection());
}

TEST(CommPortSettings, DefaultsWithoutRegistryValues)
{
    testsupport::TempHome home;
    CCommPort port;
    EXPECT_EQ(port.GetDevicePath(), "/dev/ttyUSB0");
    EXPECT_EQ(port.GetBaudRate(), 230400u);
    EXPECT_EQ(port.GetMinPacketSize(), 2048u);
}

TEST(CommPortSettings, UnusableBaudRateFallsBackToTheDefault)
{
    testsupport::TempHome home;
    testsupport::LogCapture log;
    platform::Registry registry = platform::DefaultRegistry();
    registry.WriteDword(platform::RegistryRoot::LocalMachine, platform::kOrinRootKey, "Baudrate", 12345);
    CCommPort port;
    EXPECT_EQ(port.GetBaudRate(), 230400u);
    EXPECT_TRUE(log.Contains("Invalid entry found:"));
}

}  // namespace
