// The link code against the simulated camera: synchronisation, both download modes, the
// faults a cable and a camera commit, busy mode, and the far end vanishing mid-download.
#include "tests/integration/SimFixture.h"

#include "app/platform/TextConvert.h"
#include "tools/camsim/SimPictures.h"

#include <future>

using namespace integration;

namespace {

AttributeList FileName(const std::string& name)
{
    AttributeList attributes;
    attributes.emplace_back(u"file_name", platform::FromUtf8(name));
    return attributes;
}

AttributeList ParamList(const char16_t* names)
{
    AttributeList attributes;
    attributes.emplace_back(u"GetParamList", names);
    return attributes;
}

}  // namespace

class LinkAgainstSim : public SimFixture {};

TEST_F(LinkAgainstSim, InitSynchronisesAndHandsOverTheSyncAnswer)
{
    StartSim();
    ASSERT_TRUE(StartLayer());
    ProtocolCommand sync = m_host.Sync();
    EXPECT_EQ(sync.commandID, SYNC_REPLY);
    ASSERT_NE(sync.FindAttribute(u"exp_left"), nullptr);
    EXPECT_EQ(*sync.FindAttribute(u"exp_left"), u"812");
    ASSERT_NE(sync.FindAttribute(u"DefaultShootSetup"), nullptr);
    EXPECT_EQ(*sync.FindAttribute(u"DefaultShootSetup"), u"Studio");
    EXPECT_EQ(sync.attributeCount(), m_sim.Settings().SyncAttributes().size());
    EXPECT_EQ(m_sim.Stats().received["ReSyncRequest"], 1);
    EXPECT_EQ(m_sim.Stats().received["RequestSync"], 1);
}

TEST_F(LinkAgainstSim, PacketDownloadDeliversTheExactPreview)
{
    StartSim();
    std::string name = AddPicture(camsim::SimPictures::Jpeg(camsim::SimScene::Noise, 96, 64, 90));
    ASSERT_TRUE(StartLayer());
    AttributeList attributes = FileName(name);
    ProtocolCommand answer;
    std::u16string errorText;
    ASSERT_TRUE(m_layer->GetImage(answer, attributes, errorText)) << platform::ToUtf8(errorText);
    std::vector<uint8_t> expected = DiskBytes(name);
    EXPECT_EQ(answer.attachment, expected);
    // The camera counts the transfer done once it has read the last acknowledgement.
    EXPECT_TRUE(WaitUntil([&] { return m_sim.Stats().downloadsCompleted == 1; }, 2000));
    camsim::SimStats stats = m_sim.Stats();
    EXPECT_EQ(stats.packetsSent, static_cast<int>((expected.size() + 1535) / 1536));
    EXPECT_EQ(stats.naksReceived, 0);
}

TEST_F(LinkAgainstSim, StreamDownloadWhenTheTransportTakesNoPacketSize)
{
    StartSim();
    std::string name = AddPicture(camsim::SimPictures::Jpeg(camsim::SimScene::Noise, 96, 64, 90));
    ASSERT_TRUE(StartLayer(true));
    AttributeList attributes = FileName(name);
    ProtocolCommand answer;
    std::u16string errorText;
    ASSERT_TRUE(m_layer->GetImage(answer, attributes, errorText));
    EXPECT_EQ(answer.attachment, DiskBytes(name));
    EXPECT_EQ(m_sim.Stats().packetsSent, 0);
}

TEST_F(LinkAgainstSim, ShortPacketIsAnsweredByNakAndReadAgain)
{
    StartSim(230400);
    std::string name = AddPicture(camsim::SimPictures::Jpeg(camsim::SimScene::Noise, 96, 64, 90));
    ASSERT_TRUE(StartLayer());
    EXPECT_EQ(m_sim.Command("fault short bytes=10"), "OK fault short");
    AttributeList attributes = FileName(name);
    ProtocolCommand answer;
    std::u16string errorText;
    ASSERT_TRUE(m_layer->GetImage(answer, attributes, errorText));
    EXPECT_EQ(answer.attachment, DiskBytes(name));
    EXPECT_EQ(m_sim.Stats().naksReceived, 1);
}

TEST_F(LinkAgainstSim, ThreeShortPacketsInARowEndTheAttemptAndTheRetrySucceeds)
{
    StartSim(230400);
    std::string name = AddPicture(camsim::SimPictures::Jpeg(camsim::SimScene::Noise, 96, 64, 90));
    ASSERT_TRUE(StartLayer());
    m_sim.Command("fault short bytes=10 count=3");
    AttributeList attributes = FileName(name);
    ProtocolCommand answer;
    std::u16string errorText;
    ASSERT_TRUE(m_layer->GetImage(answer, attributes, errorText));
    EXPECT_EQ(answer.attachment, DiskBytes(name));
    EXPECT_TRUE(WaitUntil([&] { return m_sim.Stats().downloadsCompleted == 1; }, 2000));
    camsim::SimStats stats = m_sim.Stats();
    EXPECT_EQ(stats.naksReceived, 2);
    EXPECT_EQ(stats.downloadsAbandoned, 1);
}

TEST_F(LinkAgainstSim, GarbageBetweenMessagesIsSkipped)
{
    StartSim();
    ASSERT_TRUE(StartLayer());
    m_sim.Command("fault garbage bytes=200 cmd=GetCameraParam");
    ProtocolCommand answer;
    std::u16string errorText;
    ASSERT_TRUE(m_layer->GetCameraParam(answer, ParamList(u"battery_percent"), errorText));
    ASSERT_NE(answer.FindAttribute(u"battery_percent"), nullptr);
    EXPECT_EQ(*answer.FindAttribute(u"battery_percent"), u"87");
}

TEST_F(LinkAgainstSim, ErrorAnswerThenResyncAndARetryThatCarriesRetransmission)
{
    StartSim();
    std::vector<std::string> seen;
    m_sim.RegisterFileCommand("dir", [&seen](const camsim::SimMessage& request, camsim::SimAnswer&) {
        seen.push_back(request.ToWire());
    });
    ASSERT_TRUE(StartLayer());
    m_sim.Command("fault error code=1 cmd=FileCommand");
    AttributeList attributes;
    attributes.emplace_back(u"FileCommand", u"dir");
    attributes.emplace_back(u"Subject", u"./Part1/");
    attributes.emplace_back(u"Retransmission", u"TRUE");
    ProtocolCommand answer;
    std::u16string errorText;
    ASSERT_TRUE(m_layer->FileCommand(answer, attributes, errorText, 4000));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "^<FileCommand FileCommand=\"dir\" Subject=\"./Part1/\" />");
    EXPECT_EQ(seen[1], "^<FileCommand FileCommand=\"dir\" Subject=\"./Part1/\" Retransmission=\"TRUE\" />");
    EXPECT_EQ(m_sim.Stats().received["ReSyncRequest"], 2);
}

TEST_F(LinkAgainstSim, ThreeErrorAnswersFailWithTheCameraText)
{
    StartSim();
    ASSERT_TRUE(StartLayer());
    m_sim.Command("fault error code=5 count=3 cmd=GetCameraParam");
    ProtocolCommand answer;
    std::u16string errorText;
    EXPECT_FALSE(m_layer->GetCameraParam(answer, ParamList(u"exp_left"), errorText));
    EXPECT_EQ(errorText, u"Bad file name");
    EXPECT_EQ(m_sim.Stats().received["GetCameraParam"], 3);
}

TEST_F(LinkAgainstSim, DroppedAnswerTimesOutAndTheRetryIsAnswered)
{
    StartSim();
    ProtocolTimeouts timeouts;
    timeouts.getCameraParamMs = 400;
    ASSERT_TRUE(StartLayer(false, &timeouts));
    m_sim.Command("fault drop cmd=GetCameraParam");
    ProtocolCommand answer;
    std::u16string errorText;
    ASSERT_TRUE(m_layer->GetCameraParam(answer, ParamList(u"exp_left"), errorText));
    EXPECT_EQ(m_sim.Stats().received["GetCameraParam"], 2);
}

TEST_F(LinkAgainstSim, DelayedAnswerWithinTheLimitIsTaken)
{
    StartSim();
    ASSERT_TRUE(StartLayer());
    m_sim.Command("fault delay ms=300 cmd=GetCameraParam");
    ProtocolCommand answer;
    std::u16string errorText;
    ASSERT_TRUE(m_layer->GetCameraParam(answer, ParamList(u"exp_left"), errorText));
    EXPECT_EQ(m_sim.Stats().received["GetCameraParam"], 1);
}

TEST_F(LinkAgainstSim, AnswerLaterThanItsLimitIsNotTakenForALaterRequest)
{
    StartSim();
    ProtocolTimeouts timeouts;
    timeouts.getCameraParamMs = 400;
    ASSERT_TRUE(StartLayer(false, &timeouts));
    m_sim.Command("fault delay ms=700 cmd=GetCameraParam");
    ProtocolCommand first;
    std::u16string errorText;
    ASSERT_TRUE(m_layer->GetCameraParam(first, ParamList(u"battery_percent"), errorText));
    ASSERT_NE(first.FindAttribute(u"battery_percent"), nullptr);
    ProtocolCommand second;
    ASSERT_TRUE(m_layer->GetCameraParam(second, ParamList(u"exp_left"), errorText));
    EXPECT_EQ(second.FindAttribute(u"battery_percent"), nullptr);
    ASSERT_NE(second.FindAttribute(u"exp_left"), nullptr);
    EXPECT_EQ(*second.FindAttribute(u"exp_left"), u"812");
}

TEST_F(LinkAgainstSim, StorageErrorOfTheCameraFailsWithItsText)
{
    StartSim();
    ASSERT_TRUE(StartLayer());
    AttributeList attributes = FileName("./Part1/../../etc/passwd");
    ProtocolCommand answer;
    std::u16string errorText;
    EXPECT_FALSE(m_layer->GetImage(answer, attributes, errorText));
    EXPECT_EQ(errorText, u"Illegal pathname.");
    EXPECT_FALSE(answer.HasAttachment());
}

TEST_F(LinkAgainstSim, PictureTakenIsPostedWithItsFileName)
{
    StartSim();
    ASSERT_TRUE(StartLayer());
    std::string result = m_sim.Command("shoot bands");
    ASSERT_EQ(result.rfind("OK shoot ./Part1/Folder/", 0), 0u) << result;
    std::string name = result.substr(std::string("OK shoot ").size());
    std::optional<platform::Message> message;
    while ((message = m_inbox.Wait(3000)) && message->id != linkmsg::WM_PICTURE_TAKEN) {
    }
    ASSERT_TRUE(message);
    const ProtocolCommand* taken = message->PayloadAs<ProtocolCommand>();
    ASSERT_NE(taken, nullptr);
    ASSERT_NE(taken->FindAttribute(u"file_name"), nullptr);
    EXPECT_EQ(platform::ToUtf8(*taken->FindAttribute(u"file_name")), name);
}

TEST_F(LinkAgainstSim, BusyModeRefusesTransactionsUntilTheNextPicture)
{
    StartSim();
    ASSERT_TRUE(StartLayer());
    EXPECT_EQ(m_sim.Command("busy"), "OK busy");
    ASSERT_TRUE(WaitUntil([&] { return m_layer->IsBusyMode(); }, 3000));
    ProtocolCommand answer;
    std::u16string errorText;
    EXPECT_FALSE(m_layer->GetCameraParam(answer, ParamList(u"exp_left"), errorText));
    EXPECT_EQ(m_sim.Stats().received["GetCameraParam"], 0);
    m_sim.Command("shoot");
    ASSERT_TRUE(WaitUntil([&] { return !m_layer->IsBusyMode(); }, 3000));
    EXPECT_TRUE(m_layer->GetCameraParam(answer, ParamList(u"exp_left"), errorText));
}

TEST_F(LinkAgainstSim, UnplugMidDownloadGoesOfflineAtOnceAndPlugIsBackInSyncWithinFiveSeconds)
{
    StartSim(230400);
    // About 2.5 s of line time at 230400 baud: the cable is pulled well inside the transfer.
    std::string name = AddPicture(camsim::SimPictures::JpegOfSize(60 * 1024));
    ASSERT_TRUE(StartLayer());
    auto download = std::async(std::launch::async, [&] {
        AttributeList attributes = FileName(name);
        ProtocolCommand answer;
        std::u16string errorText;
        bool ok = m_layer->GetImage(answer, attributes, errorText);
        return ok && answer.HasAttachment();
    });
    ASSERT_TRUE(WaitUntil([&] { return m_sim.Stats().packetsSent >= 5; }, 5000));
    EXPECT_EQ(m_sim.Command("unplug"), "OK unplug");

    // The transfer ends without waiting out its time limits, and the link reports offline.
    ASSERT_EQ(download.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_FALSE(download.get());
    EXPECT_TRUE(WaitUntil([&] { return !m_layer->IsOnline(); }, 1000));
    EXPECT_FALSE(m_layer->IsInSync());

    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(m_sim.Command("plug").rfind("OK plug", 0), 0u);
    // As the controller does: a WM_SYNC from the link is answered with a resynchronisation.
    auto plugged = std::chrono::steady_clock::now();
    bool inSync = false;
    while (!inSync && std::chrono::steady_clock::now() - plugged < std::chrono::seconds(5)) {
        std::optional<platform::Message> message = m_inbox.Wait(100);
        if (message && message->id == linkmsg::WM_SYNC) {
            m_layer->ReSync(false, nullptr, 1, false);
        }
        inSync = m_layer->IsInSync();
    }
    ASSERT_TRUE(inSync) << "not back in sync within 5 s of the camera returning";

    AttributeList attributes = FileName(name);
    ProtocolCommand answer;
    std::u16string errorText;
    ASSERT_TRUE(m_layer->GetImage(answer, attributes, errorText));
    EXPECT_EQ(answer.attachment, DiskBytes(name));
}
