// Picture download: packet arithmetic, acknowledged packets, Nak and resend, the three-failures
// rule, stream mode, and payload headers that cannot be trusted.
#include "app/link/ImageDecodeHook.h"
#include "app/link/ImageReader.h"
#include "app/platform/Registry.h"
#include "tests/link/LinkFixture.h"

#include <atomic>
#include <set>

namespace {

using namespace linktest;

TEST(PacketArithmetic, FourThousandBytesInPacketsOf1536)
{
    EXPECT_EQ(CImageReader::PacketCount(4000, 1536), 3u);
    EXPECT_EQ(CImageReader::PacketLength(4000, 1536, 0), 1536u);
    EXPECT_EQ(CImageReader::PacketLength(4000, 1536, 1), 1536u);
    EXPECT_EQ(CImageReader::PacketLength(4000, 1536, 2), 928u);
}

TEST(PacketArithmetic, ExactMultipleEndsWithAFullPacketNotAnEmptyOne)
{
    EXPECT_EQ(CImageReader::PacketCount(3072, 1536), 2u);
    EXPECT_EQ(CImageReader::PacketLength(3072, 1536, 1), 1536u);
    EXPECT_EQ(CImageReader::PacketLength(3072, 1536, 2), 0u);
}

TEST(PacketArithmetic, PacketTimeoutAt19200BaudIs960ms)
{
    EXPECT_EQ(CImageReader::PacketTimeLimit(1536, 19200), 960u);
}

TEST(PacketArithmetic, PacketTimeoutAt230400BaudIsTheMinimum)
{
    EXPECT_EQ(CImageReader::PacketTimeLimit(1536, 230400), 500u);
    EXPECT_EQ(CImageReader::PacketTimeLimit(1536, 0), 500u);
}

// The camera's side of a packet download, driven by the client's Ack and Nak.
class PacketServer {
public:
    PacketServer(ScriptedCamera& camera, std::string payload, uint32_t packetSize)
        : m_payload(std::move(payload)), m_packetSize(packetSize)
    {
        camera.SetDefaultAction("GetImage", [this](PtyPeer& peer, const std::string&) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_index = 0;
            // The first packet travels in the same write as the header, so the command
            // reader holds part of the payload when the download starts.
            peer.Write(Header() + Packet(0));
            Pace(peer);
        });
        camera.SetDefaultAction("Ack", [this](PtyPeer& peer, const std::string&) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (++m_index < Count()) {
                peer.Write(Packet(m_index));
                Pace(peer);
            }
        });
        camera.SetDefaultAction("Nak", [this](PtyPeer& peer, const std::string&) {
            std::lock_guard<std::mutex> lock(m_mutex);
            peer.Write(Packet(m_index));
            Pace(peer);
        });
    }

    std::set<uint32_t> m_shortOnce;  // packets sent 10 bytes short the first time
    bool m_bAlwaysShort = false;
    bool m_bLateTail = false;        // the missing 10 bytes follow 150 ms late
    std::string m_header;            // replaces the usual header when set

private:
    uint32_t Count() const { return CImageReader::PacketCount(static_cast<uint32_t>(m_payload.size()), m_packetSize); }

    std::string Header() const
    {
        if (!m_header.empty()) {
            return m_header;
        }
        return "^<Ack ATTACHMENT=\"" + std::to_string(m_payload.size()) + "\" Size=\"" + std::to_string(m_packetSize) +
               "\" />";
    }

    std::string Packet(uint32_t index)
    {
        const uint32_t length = CImageReader::PacketLength(static_cast<uint32_t>(m_payload.size()), m_packetSize, index);
        std::string packet = m_payload.substr(static_cast<size_t>(index) * m_packetSize, length);
        m_tail.clear();
        if (m_bAlwaysShort || m_shortOnce.erase(index) > 0 || m_bLateTail) {
            m_tail = packet.substr(packet.size() - 10);
            packet.resize(packet.size() - 10);
            if (!m_bLateTail) {
                m_tail.clear();
            }
            m_bLateTail = false;
        }
        return packet;
    }

    void Pace(PtyPeer& peer)
    {
        if (!m_tail.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            peer.Write(m_tail);
            m_tail.clear();
        }
    }

    std::mutex m_mutex;
    std::string m_payload;
    uint32_t m_packetSize;
    uint32_t m_index = 0;
    std::string m_tail;
};

class DownloadTest : public LinkFixture {
protected:
    bool Download(ProtocolCommand& answer)
    {
        AttributeList attributes = {{u"file_name", u"./P/F/a.mos"}};
        m_error.clear();
        return m_layer->GetImage(answer, attributes, m_error);
    }

    void TearDown() override
    {
        LinkFixture::TearDown();
        // The camera's script may still be answering; it must end before the server it uses.
        m_peer.Stop();
        m_server.reset();
    }

    PacketServer& Serve(std::string payload, uint32_t packetSize)
    {
        m_server = std::make_unique<PacketServer>(m_camera, std::move(payload), packetSize);
        return *m_server;
    }

    size_t Count(const std::string& name) { return m_camera.CommandsNamed(name).size(); }

    // The client's last acknowledgement may still be on its way to the camera.
    bool Counted(const std::string& name, size_t expected)
    {
        Eventually([&] { return Count(name) >= expected; }, 2000);
        return Count(name) == expected;
    }

    static std::string Bytes(const ProtocolCommand& answer)
    {
        return std::string(answer.attachment.begin(), answer.attachment.end());
    }

    std::u16string m_error;
    std::unique_ptr<PacketServer> m_server;
};

TEST_F(DownloadTest, EveryPacketIsAcknowledgedAndThePictureArrivesWhole)
{
    InitInSync();
    const std::string payload = TestPayload(4000);
    Serve(payload, 1536);
    ProtocolCommand answer;
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(Bytes(answer), payload);
    ASSERT_TRUE(m_peer.WaitForCommands(6));
    const std::vector<std::string> commands = m_camera.Commands();
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[2], "^<GetImage file_name=\"./P/F/a.mos\" PacketSize=\"1536\" />");
    EXPECT_EQ(commands[3], "^<Ack />");
    EXPECT_EQ(commands[4], "^<Ack />");
    EXPECT_EQ(commands[5], "^<Ack />");
    // Each accepted packet is reported, so a long download can show how far it is.
    std::lock_guard<std::mutex> lock(m_host.m_mutex);
    using Report = std::pair<uint32_t, uint32_t>;
    EXPECT_EQ(m_host.m_progress, (std::vector<Report>{{1536, 4000}, {3072, 4000}, {4000, 4000}}));
}

TEST_F(DownloadTest, ExactMultipleOfThePacketSizeTakesTwoPackets)
{
    InitInSync();
    const std::string payload = TestPayload(3072);
    Serve(payload, 1536);
    ProtocolCommand answer;
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(Bytes(answer), payload);
    EXPECT_TRUE(Counted("Ack", 2u));
}

TEST_F(DownloadTest, PacketSizeSettingIsAByteCount)
{
    platform::Registry registry = platform::DefaultRegistry();
    registry.WriteDword(platform::RegistryRoot::LocalMachine, platform::kOrinRootKey, "PacketSize", 1024);
    m_layer = std::make_unique<CProtocolLayer>(m_port.get(), &m_target, &m_host);
    m_layer->SetTimeouts(m_timeouts);
    InitInSync();
    const std::string payload = TestPayload(2500);
    Serve(payload, 1024);
    ProtocolCommand answer;
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(Bytes(answer), payload);
    EXPECT_EQ(m_camera.CommandsNamed("GetImage")[0], "^<GetImage file_name=\"./P/F/a.mos\" PacketSize=\"1024\" />");
    EXPECT_TRUE(Counted("Ack", 3u));
}

TEST_F(DownloadTest, ShortPacketIsAnsweredWithNakAndReadAgainFromItsFirstByte)
{
    InitInSync();
    const std::string payload = TestPayload(4000);
    PacketServer& server = Serve(payload, 1536);
    server.m_shortOnce = {1};
    ProtocolCommand answer;
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(Bytes(answer), payload);
    EXPECT_TRUE(Counted("Nak", 1u));
    EXPECT_TRUE(Counted("Ack", 3u));
    EXPECT_TRUE(m_log.Contains("Sending Nak response"));
    // The short packet's bytes are not counted as received.
    std::lock_guard<std::mutex> lock(m_host.m_mutex);
    using Report = std::pair<uint32_t, uint32_t>;
    EXPECT_EQ(m_host.m_progress, (std::vector<Report>{{1536, 4000}, {3072, 4000}, {4000, 4000}}));
}

TEST_F(DownloadTest, LateTailOfAFailedPacketIsNotTakenForTheResentOne)
{
    InitInSync();
    const std::string payload = TestPayload(4000);
    PacketServer& server = Serve(payload, 1536);
    server.m_bLateTail = true;
    ProtocolCommand answer;
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(Bytes(answer), payload);
    EXPECT_TRUE(Counted("Nak", 1u));
}

TEST_F(DownloadTest, ThreeFailuresInARowEndTheDownload)
{
    InitInSync();
    PacketServer& server = Serve(TestPayload(4000), 1536);
    server.m_bAlwaysShort = true;
    ProtocolCommand answer;
    EXPECT_FALSE(Download(answer));
    EXPECT_FALSE(answer.HasAttachment());
    EXPECT_TRUE(m_log.Contains("Failed to read image. No more attempts"));
    EXPECT_TRUE(m_log.Contains("ReadImage failed"));
    // Each of the three attempts: two Naks, then the third failure ends it.
    EXPECT_TRUE(Counted("GetImage", 3u));
    EXPECT_TRUE(Counted("Nak", 6u));
    EXPECT_TRUE(Counted("Ack", 0u));
    // Packets may still be on their way: the next operation clears the line first.
    EXPECT_FALSE(m_layer->IsInSync());
    std::u16string error;
    EXPECT_TRUE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
    EXPECT_EQ(m_camera.Commands().at(m_camera.Commands().size() - 2), "^<ReSyncRequest />");
}

TEST_F(DownloadTest, GivenUpPictureStopsItsPacketReadSoTheResynchronisationIsHeard)
{
    InitInSync();
    // A packet whose own time limit (20000 bytes at 230400 baud: about 1 s) outlasts the
    // answer's, stalling after its first bytes: the request is given up while the packet is
    // still being read.
    m_camera.QueueAction("GetImage", [](PtyPeer& peer, const std::string&) {
        peer.Write("^<Ack ATTACHMENT=\"40000\" Size=\"20000\" />" + std::string(100, 'x'));
    });
    const std::string payload = TestPayload(4000);
    Serve(payload, 1536);
    ProtocolCommand answer;
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(Bytes(answer), payload);
    EXPECT_TRUE(m_log.Contains("Image reading stopped at 100 of 40000 bytes"));
    // The first resynchronisation was answered and heard, and the camera that moved on was
    // not sent a Nak for the abandoned packet.
    EXPECT_FALSE(m_log.Contains("CProtocolLayer::ReSync Synchronize failed Attempt: 1"));
    EXPECT_TRUE(Counted("Nak", 0u));
    EXPECT_TRUE(Counted("GetImage", 2u));
}

TEST_F(DownloadTest, PayloadWithoutPacketSizeIsOneStreamWithoutAcknowledgements)
{
    InitInSync();
    const std::string payload = TestPayload(5000);
    m_camera.SetDefault("GetImage", "^<Ack ATTACHMENT=\"5000\" />" + payload);
    ProtocolCommand answer;
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(Bytes(answer), payload);
    EXPECT_TRUE(Counted("Ack", 0u));
    EXPECT_TRUE(Counted("Nak", 0u));
    EXPECT_TRUE(m_log.Contains("CProtocolLayer baudrate:"));
}

TEST_F(DownloadTest, WaitForAPictureCountsFromTheLastProgressOfItsPayload)
{
    InitInSync();
    // The whole payload takes about three times the answer's time limit, but never stalls.
    const std::string payload = TestPayload(12000);
    m_camera.SetDefaultAction("GetImage", [payload](PtyPeer& peer, const std::string&) {
        peer.Write("^<Ack ATTACHMENT=\"12000\" />");
        for (size_t offset = 0; offset < payload.size(); offset += 1000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            peer.Write(payload.substr(offset, 1000));
        }
    });
    ProtocolCommand answer;
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(Bytes(answer), payload);
    EXPECT_TRUE(Counted("GetImage", 1u));
    // A stream reports as its bytes come, rising to the whole picture.
    std::lock_guard<std::mutex> lock(m_host.m_mutex);
    ASSERT_GE(m_host.m_progress.size(), 2u);
    for (size_t i = 1; i < m_host.m_progress.size(); ++i) {
        EXPECT_GT(m_host.m_progress[i].first, m_host.m_progress[i - 1].first);
    }
    EXPECT_EQ(m_host.m_progress.back(), (std::pair<uint32_t, uint32_t>{12000, 12000}));
}

TEST_F(DownloadTest, HugeOrNegativeLengthsAreRefusedAndTheLinkCarriesOn)
{
    InitInSync();
    m_camera.Queue("GetImage", "^<Ack ATTACHMENT=\"99999999999\" Size=\"1536\" />");
    m_camera.Queue("GetImage", "^<Ack ATTACHMENT=\"-20\" />");
    m_camera.Queue("GetImage", "^<Ack ATTACHMENT=\"4000\" Size=\"-3\" />");
    ProtocolCommand answer;
    EXPECT_FALSE(Download(answer));
    EXPECT_TRUE(m_log.Contains("Refused payload header: ATTACHMENT 99999999999"));
    EXPECT_TRUE(m_log.Contains("Refused payload header: ATTACHMENT -20"));
    EXPECT_TRUE(m_log.Contains("Refused payload header: ATTACHMENT 4000, Size -3"));
    std::u16string error;
    EXPECT_TRUE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
}

TEST_F(DownloadTest, AnswerWithoutPayloadIsNoPicture)
{
    InitInSync();
    m_camera.SetDefault("GetImage", "^<Ack />");
    ProtocolCommand answer;
    EXPECT_FALSE(Download(answer));
    EXPECT_TRUE(Counted("GetImage", 3u));
}

class CountingDecoder : public IImageDecodeHook {
public:
    bool DecodePicture(const uint8_t* data, size_t size) override
    {
        m_bytes.assign(reinterpret_cast<const char*>(data), size);
        ++m_calls;
        return true;
    }
    std::atomic<int> m_calls{0};
    std::string m_bytes;
};

TEST_F(DownloadTest, ArrivedPictureIsHandedToTheDecoderOnce)
{
    CountingDecoder decoder;
    m_layer->SetImageDecodeHook(&decoder);
    InitInSync();
    const std::string payload = TestPayload(3000);
    Serve(payload, 1536);
    ProtocolCommand answer;
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(decoder.m_calls.load(), 1);
    EXPECT_EQ(decoder.m_bytes, payload);
    EXPECT_TRUE(m_log.Contains("Decompression time - "));
    m_layer->SetDecompress(false);
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(decoder.m_calls.load(), 1);
    m_layer->Shutdown();
}

// Takes a while over each picture, as a real decoder does with a large preview.
class SlowDecoder : public IImageDecodeHook {
public:
    bool DecodePicture(const uint8_t*, size_t) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(350));
        return true;
    }
};

TEST_F(DownloadTest, PictureDecodedAfterItsLastBytesIsNotGivenUpWhileDecoding)
{
    SlowDecoder decoder;
    m_layer->SetImageDecodeHook(&decoder);
    InitInSync();
    // The last byte comes 400 ms after the request; the answer's limit (600 ms) then runs out
    // while the picture is still being decoded, but counted from that last byte it does not.
    const std::string payload = TestPayload(3000);
    m_camera.SetDefaultAction("GetImage", [payload](PtyPeer& peer, const std::string&) {
        peer.Write("^<Ack ATTACHMENT=\"3000\" />" + payload.substr(0, 2999));
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        peer.Write(payload.substr(2999));
    });
    ProtocolCommand answer;
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(Bytes(answer), payload);
    EXPECT_TRUE(Counted("GetImage", 1u));
    m_layer->Shutdown();
}

TEST_F(DownloadTest, LatePacketsOfAGivenUpPictureAreNotAcknowledged)
{
    InitInSync();
    // The camera answers the first request after its limit, and only then reads the
    // resynchronisation request that followed: its late picture arrives while the link is
    // being resynchronised. Acknowledging it would make the camera go on sending a picture
    // nobody waits for, and bury the resynchronisation answer in it.
    const std::string payload = TestPayload(4000);
    Serve(payload, 1536);
    // The reader has the late packet's bytes to step over before the resynchronisation answer;
    // on a loaded machine that must not be what fails the first attempt.
    m_timeouts.synchronizeMs = 3000;
    m_layer->SetTimeouts(m_timeouts);
    m_camera.QueueAction("GetImage", [payload](PtyPeer& peer, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        peer.Write("^<Ack ATTACHMENT=\"4000\" Size=\"1536\" />" + payload.substr(0, 1536));
    });
    ProtocolCommand answer;
    ASSERT_TRUE(Download(answer));
    EXPECT_EQ(Bytes(answer), payload);
    EXPECT_FALSE(m_log.Contains("CProtocolLayer::ReSync Synchronize failed Attempt: 1"));
    EXPECT_TRUE(m_log.Contains("Picture that no request waits for is not read"));
    // Three Acks, all for the picture that was asked for.
    EXPECT_TRUE(Counted("Ack", 3u));
    EXPECT_TRUE(Counted("GetImage", 2u));
}

}  // namespace
