// The simulated camera seen from the wire: a raw client on its pseudo-terminal checks the exact
// bytes of answers, packets, acknowledgements, faults and the far end vanishing and returning.
#include "tests/camsim/SimTestClient.h"
#include "tools/camsim/SimCamera.h"
#include "tools/camsim/SimPictures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;
using camsim::SimCamera;
using camsimtest::SimTestClient;

namespace {

class SimCameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "camsim-test-XXXXXX").string();
        m_root = mkdtemp(pattern.data());
        ASSERT_TRUE(m_camera.Disk().Open(m_root));
        // A picture of a known size: 4000 bytes, as in the packet arithmetic examples.
        m_picture = MakeBytes(4000);
        fs::create_directories(m_root / "Part1" / "Folder");
        std::ofstream(m_root / "Part1" / "Folder" / "Pic0001.jpg", std::ios::binary)
            .write(reinterpret_cast<const char*>(m_picture.data()), static_cast<std::streamsize>(m_picture.size()));
        ASSERT_TRUE(m_camera.Link().OpenPty(m_root / "tty"));
        ASSERT_TRUE(m_camera.Start());
        m_client = std::make_unique<SimTestClient>(m_camera.Link().Path());
        ASSERT_TRUE(m_client->IsOpen());
    }

    void TearDown() override
    {
        m_client.reset();
        m_camera.Stop();
        m_camera.Link().Close();
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    static std::vector<uint8_t> MakeBytes(size_t n)
    {
        std::vector<uint8_t> bytes(n);
        for (size_t i = 0; i < n; ++i) {
            bytes[i] = static_cast<uint8_t>((i * 7 + 3) & 0xFF);
        }
        bytes[0] = 0xFF;
        bytes[1] = 0xD8;
        return bytes;
    }

    std::string Slice(size_t from, size_t count) const
    {
        return std::string(reinterpret_cast<const char*>(m_picture.data()) + from, count);
    }

    fs::path m_root;
    std::vector<uint8_t> m_picture;
    SimCamera m_camera;
    std::unique_ptr<SimTestClient> m_client;
};

const char* const kGetPicture = "^<GetImage file_name=\"./Part1/Folder/Pic0001.mos\" PacketSize=\"1536\" />";

}  // namespace

TEST_F(SimCameraTest, ResyncRequestIsAnsweredAfterLineNoise)
{
    ASSERT_TRUE(m_client->Write("\r\n\x01junk^<ReSyncRequest />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<ReSyncResponse />");
}

TEST_F(SimCameraTest, SyncAnswerCarriesTheConfigurationInOrder)
{
    ASSERT_TRUE(m_client->Write("^<RequestSync />"));
    std::string answer = m_client->ReadMessage();
    ASSERT_EQ(answer.rfind("^<Sync ", 0), 0u) << answer;
    size_t iso = answer.find(" ISO=\"");
    size_t setups = answer.find(" ShootSetup=\"");
    size_t defaultSetup = answer.find(" DefaultShootSetup=\"Studio\"");
    ASSERT_NE(iso, std::string::npos);
    ASSERT_NE(setups, std::string::npos);
    ASSERT_NE(defaultSetup, std::string::npos);
    // The handheld stops reading at a failed list, so the lists must precede the setups.
    EXPECT_LT(iso, setups);
    EXPECT_NE(answer.find(" exp_left=\"812\""), std::string::npos);
    EXPECT_EQ(answer.substr(answer.size() - 3), " />");
}

TEST_F(SimCameraTest, PacketModeSendsThreePacketsEachAfterAnAck)
{
    ASSERT_TRUE(m_client->Write(kGetPicture));
    EXPECT_EQ(m_client->ReadMessage(), "^<Ack ATTACHMENT=\"4000\" Size=\"1536\" />");
    EXPECT_EQ(m_client->Read(1536), Slice(0, 1536));
    // Nothing more until the packet is acknowledged.
    EXPECT_EQ(m_client->Read(1, 200), "");
    ASSERT_TRUE(m_client->Write("^<Ack />"));
    EXPECT_EQ(m_client->Read(1536), Slice(1536, 1536));
    ASSERT_TRUE(m_client->Write("^<Ack />"));
    EXPECT_EQ(m_client->Read(928), Slice(3072, 928));
    ASSERT_TRUE(m_client->Write("^<Ack />"));
    EXPECT_EQ(m_client->Read(1, 200), "");
    ASSERT_TRUE(m_client->Write("^<ReSyncRequest />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<ReSyncResponse />");
    EXPECT_EQ(m_camera.Stats().downloadsCompleted, 1);
}

TEST_F(SimCameraTest, NakMakesTheCameraSendTheSamePacketAgain)
{
    ASSERT_TRUE(m_client->Write(kGetPicture));
    m_client->ReadMessage();
    EXPECT_EQ(m_client->Read(1536), Slice(0, 1536));
    ASSERT_TRUE(m_client->Write("^<Nak />"));
    EXPECT_EQ(m_client->Read(1536), Slice(0, 1536));
    ASSERT_TRUE(m_client->Write("^<Ack />"));
    EXPECT_EQ(m_client->Read(1536), Slice(1536, 1536));
    EXPECT_EQ(m_camera.Stats().naksReceived, 1);
}

TEST_F(SimCameraTest, ShortPacketFaultCutsOnePacketAndTheResendIsWhole)
{
    EXPECT_EQ(m_camera.Command("fault short bytes=10"), "OK fault short");
    ASSERT_TRUE(m_client->Write(kGetPicture));
    m_client->ReadMessage();
    EXPECT_EQ(m_client->Read(1536, 300), Slice(0, 1526));
    ASSERT_TRUE(m_client->Write("^<Nak />"));
    EXPECT_EQ(m_client->Read(1536), Slice(0, 1536));
}

TEST_F(SimCameraTest, WithoutPacketSizeThePictureComesAsOneStream)
{
    ASSERT_TRUE(m_client->Write("^<GetImage file_name=\"./Part1/Folder/Pic0001.mos\" />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<Ack ATTACHMENT=\"4000\" />");
    EXPECT_EQ(m_client->Read(4000), Slice(0, 4000));
}

TEST_F(SimCameraTest, NewCommandDuringATransferAbandonsIt)
{
    ASSERT_TRUE(m_client->Write(kGetPicture));
    m_client->ReadMessage();
    m_client->Read(1536);
    ASSERT_TRUE(m_client->Write("^<ReSyncRequest />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<ReSyncResponse />");
    EXPECT_EQ(m_camera.Stats().downloadsAbandoned, 1);
}

TEST_F(SimCameraTest, UnsafeOrMissingPictureNamesAreRefusedWithStorageErrors)
{
    ASSERT_TRUE(m_client->Write("^<GetImage file_name=\"./../../etc/passwd\" />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<Ack error=\"8204\" />");
    ASSERT_TRUE(m_client->Write("^<GetImage file_name=\"./Part1/Folder/Pic0009.mos\" />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<Ack error=\"8203\" />");
}

TEST_F(SimCameraTest, UnknownCommandGetsUnknownCommandError)
{
    ASSERT_TRUE(m_client->Write("^<Frobnicate />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<Error error_code=\"2\" />");
}

TEST_F(SimCameraTest, ErrorFaultReplacesOnlyTheNextMatchingAnswer)
{
    EXPECT_EQ(m_camera.Command("fault error code=4 cmd=RequestSync"), "OK fault error");
    ASSERT_TRUE(m_client->Write("^<ReSyncRequest />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<ReSyncResponse />");
    ASSERT_TRUE(m_client->Write("^<RequestSync />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<Error error_code=\"4\" />");
    ASSERT_TRUE(m_client->Write("^<RequestSync />"));
    EXPECT_EQ(m_client->ReadMessage().rfind("^<Sync ", 0), 0u);
}

TEST_F(SimCameraTest, DroppedAnswerNeverComesAndTheNextOneDoes)
{
    m_camera.Command("fault drop");
    ASSERT_TRUE(m_client->Write("^<ReSyncRequest />"));
    EXPECT_EQ(m_client->ReadMessage(500), "");
    ASSERT_TRUE(m_client->Write("^<ReSyncRequest />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<ReSyncResponse />");
}

TEST_F(SimCameraTest, GarbageBeforeAnAnswerHoldsNoCaret)
{
    m_camera.Command("fault garbage bytes=64");
    ASSERT_TRUE(m_client->Write("^<ReSyncRequest />"));
    std::string bytes = m_client->Read(64 + 19);
    ASSERT_EQ(bytes.size(), 64u + 19u);
    EXPECT_EQ(bytes.find('^'), 64u);
    EXPECT_EQ(bytes.substr(64), "^<ReSyncResponse />");
}

TEST_F(SimCameraTest, CameraParametersAreReadAndWritten)
{
    ASSERT_TRUE(m_client->Write("^<SetCameraParam HistogramDim=\"200;100\" />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<Ack />");
    ASSERT_TRUE(m_client->Write("^<GetCameraParam GetParamList=\"HistogramDim;exp_left\" />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<Ack HistogramDim=\"200;100\" exp_left=\"812\" />");
    ASSERT_TRUE(m_client->Write("^<GetCameraParam GetParamList=\"NoSuchValue\" />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<Ack error=\"9\" />");
}

TEST_F(SimCameraTest, FileCommandsDispatchThroughTheirOwnTable)
{
    ASSERT_TRUE(m_client->Write("^<FileCommand FileCommand=\"defrag\" Subject=\"./\" />"));
    EXPECT_EQ(m_client->ReadMessage(), "^<Error error_code=\"2\" />");
}

TEST_F(SimCameraTest, ShootStoresAPictureAndAnnouncesIt)
{
    std::string result = m_camera.Command("shoot highlights");
    ASSERT_EQ(result, "OK shoot ./Part1/Folder/Pic0002.mos");
    std::string message = m_client->ReadMessage();
    EXPECT_EQ(message.rfind("^<PictureTaken file_name=\"./Part1/Folder/Pic0002.mos\" Date=\"", 0), 0u) << message;
    EXPECT_NE(message.find(" exp_left=\"811\""), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(m_root / "Part1" / "Folder" / "Pic0002.jpg"));
    EXPECT_EQ(m_camera.Command("busy"), "OK busy");
    EXPECT_EQ(m_client->ReadMessage(), "^<PictureTaken busy=\"yes\" />");
}

TEST_F(SimCameraTest, UnplugHangsUpTheLineAndPlugComesBackOnTheSamePath)
{
    std::string path = m_camera.Link().Path();
    EXPECT_EQ(m_camera.Command("unplug"), "OK unplug");
    EXPECT_TRUE(m_client->WaitHangup(2000));
    EXPECT_FALSE(SimTestClient(path).IsOpen());
    EXPECT_EQ(m_camera.Command("plug"), "OK plug " + path);
    SimTestClient again(path);
    ASSERT_TRUE(again.IsOpen());
    ASSERT_TRUE(again.Write("^<ReSyncRequest />"));
    EXPECT_EQ(again.ReadMessage(), "^<ReSyncResponse />");
}

TEST_F(SimCameraTest, UnplugCutsATransferShortAtOnce)
{
    ASSERT_TRUE(m_client->Write(kGetPicture));
    m_client->ReadMessage();
    m_client->Read(1536);
    // The camera now waits for the acknowledgement; the cable goes.
    EXPECT_EQ(m_camera.Command("unplug"), "OK unplug");
    EXPECT_TRUE(m_client->WaitHangup(2000));
    EXPECT_EQ(m_camera.Stats().downloadsAbandoned, 1);
}

TEST_F(SimCameraTest, ClientReopeningThePortDoesNotHangTheLineUp)
{
    m_client.reset();
    SimTestClient again(m_camera.Link().Path());
    ASSERT_TRUE(again.Write("^<ReSyncRequest />"));
    EXPECT_EQ(again.ReadMessage(), "^<ReSyncResponse />");
}

TEST_F(SimCameraTest, ConsoleCommandsReportErrorsPlainly)
{
    EXPECT_EQ(m_camera.Command("fault explode").rfind("ERR unknown fault", 0), 0u);
    EXPECT_EQ(m_camera.Command("dance").rfind("ERR unknown command", 0), 0u);
    EXPECT_EQ(m_camera.Command("shoot sunset").rfind("ERR unknown scene", 0), 0u);
    EXPECT_EQ(m_camera.Command("baud 230400"), "OK baud 230400");
    EXPECT_EQ(m_camera.Link().Baud(), 230400);
}

TEST(SimCameraOnDevice, AnswersOnASerialDeviceAndIgnoresTrafficWhileUnplugged)
{
    // A pseudo-terminal's slave stands in for the serial device; the test talks on the master.
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::string device = ptsname(master);
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);

    std::string pattern = (fs::temp_directory_path() / "camsim-test-XXXXXX").string();
    fs::path root = mkdtemp(pattern.data());
    {
        SimCamera camera;
        ASSERT_TRUE(camera.Disk().Open(root));
        ASSERT_TRUE(camera.Link().OpenDevice(device, 230400));
        ASSERT_TRUE(camera.Start());
        auto exchange = [&](const std::string& request, int quietMs) {
            EXPECT_EQ(write(master, request.data(), request.size()), static_cast<ssize_t>(request.size()));
            std::string answer;
            pollfd fd{master, POLLIN, 0};
            while (poll(&fd, 1, quietMs) > 0) {
                char buffer[256];
                ssize_t n = read(master, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                answer.append(buffer, static_cast<size_t>(n));
                if (answer.back() == '>') {
                    break;
                }
            }
            return answer;
        };
        EXPECT_EQ(exchange("^<ReSyncRequest />", 2000), "^<ReSyncResponse />");
        EXPECT_EQ(camera.Command("unplug"), "OK unplug");
        EXPECT_EQ(exchange("^<ReSyncRequest />", 300), "");
        EXPECT_EQ(camera.Command("plug"), "OK plug " + device);
        EXPECT_EQ(exchange("^<ReSyncRequest />", 2000), "^<ReSyncResponse />");
        camera.Stop();
    }
    close(master);
    std::error_code ec;
    fs::remove_all(root, ec);
}
