// The protocol layer against a scripted camera: transactions, retries, resynchronisation, busy
// mode, unrequested messages and the far end coming and going.
#include "app/platform/ThreadStart.h"
#include "tests/link/LinkFixture.h"

namespace {

using namespace linktest;

using Strings = std::vector<std::string>;

TEST_F(LinkFixture, InitResynchronisesThenAsksForTheCameraState)
{
    InitInSync();
    EXPECT_EQ(m_camera.Commands(), (Strings{"^<ReSyncRequest />", "^<RequestSync />"}));
    std::lock_guard<std::mutex> lock(m_host.m_mutex);
    ASSERT_EQ(m_host.m_syncs.size(), 1u);
    EXPECT_EQ(m_host.m_syncs[0].commandID, SYNC_REPLY);
    EXPECT_EQ(Text(*m_host.m_syncs[0].FindAttribute(u"CameraName")), "Tessa");
}

TEST_F(LinkFixture, ReadThreadTheSystemRefusesFailsInitInsteadOfHanging)
{
    platform::RefuseThreadStarts(1);
    EXPECT_FALSE(m_layer->Init());
    platform::RefuseThreadStarts(0);
    EXPECT_TRUE(m_log.Contains(1, "Failed to create thread m_hReadThread"));
    // Once threads can be had again, the next start works.
    InitInSync();
}

TEST_F(LinkFixture, WakeupThreadTheSystemRefusesLeavesTheLinkWorking)
{
    m_layer.reset();
    platform::RefuseThreadStarts(1);
    m_layer = std::make_unique<CProtocolLayer>(m_port.get(), &m_target, &m_host);
    platform::RefuseThreadStarts(0);
    EXPECT_TRUE(m_log.Contains(1, "Failed to create Wakeup thread"));
    m_layer->SetTimeouts(m_timeouts);
    InitInSync();
    std::u16string error;
    ProtocolCommand answer;
    EXPECT_TRUE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
    // Ending it must not wait for a thread that never ran.
    m_layer.reset();
}

TEST_F(LinkFixture, EachOperationWritesItsCommandText)
{
    InitInSync();
    std::u16string error;
    ProtocolCommand answer;
    EXPECT_TRUE(m_layer->FileCommand(
        answer, {{u"FileCommand", u"dir"}, {u"Subject", u"./P/F/"}, {u"Retransmission", u"TRUE"}}, error, 500));
    EXPECT_TRUE(m_layer->GetPictureParams(answer, {{u"file_name", u"./P/F/a.mos"}}, error));
    EXPECT_TRUE(m_layer->SetPictureParams({{u"file_name", u"./P/F/a.mos"}, {u"Marking", u"Good"}}, error));
    EXPECT_TRUE(m_layer->SetCameraParam({{u"ISO", u"100"}}, error));
    EXPECT_TRUE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
    EXPECT_TRUE(m_layer->ImageFunction(answer, {{u"file_name", u"./P/F/a.mos"}, {u"Fstop", u"1"}}, error));
    const Strings commands = m_camera.Commands();
    ASSERT_EQ(commands.size(), 8u);
    EXPECT_EQ(commands[2], "^<FileCommand FileCommand=\"dir\" Subject=\"./P/F/\" />");
    EXPECT_EQ(commands[3], "^<GetPictureParams file_name=\"./P/F/a.mos\" />");
    EXPECT_EQ(commands[4], "^<SetPictureParams file_name=\"./P/F/a.mos\" Marking=\"Good\" />");
    EXPECT_EQ(commands[5], "^<SetCameraParam ISO=\"100\" />");
    EXPECT_EQ(commands[6], "^<GetCameraParam ISO />");
    EXPECT_EQ(commands[7], "^<ImageFunction file_name=\"./P/F/a.mos\" Fstop=\"1\" />");
    // Every operation asked for the busy indicator and gave it back.
    std::lock_guard<std::mutex> lock(m_host.m_mutex);
    EXPECT_EQ(m_host.m_busyDepth, 0);
    EXPECT_GE(m_host.m_busyMax, 1);
}

TEST_F(LinkFixture, ErrorAnswerResynchronisesAndTheRetryCarriesRetransmission)
{
    InitInSync();
    m_camera.Queue("FileCommand", "^<Error error_code=\"5\" />");
    std::u16string error;
    ProtocolCommand answer;
    EXPECT_TRUE(m_layer->FileCommand(
        answer, {{u"FileCommand", u"delete"}, {u"Subject", u"./P/F/a.mos"}, {u"Retransmission", u"TRUE"}}, error, 500));
    const Strings commands = m_camera.Commands();
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands[2], "^<FileCommand FileCommand=\"delete\" Subject=\"./P/F/a.mos\" />");
    EXPECT_EQ(commands[3], "^<ReSyncRequest />");
    EXPECT_EQ(commands[4], "^<FileCommand FileCommand=\"delete\" Subject=\"./P/F/a.mos\" Retransmission=\"TRUE\" />");
}

TEST_F(LinkFixture, ThreeErrorAnswersFailWithTheCameraText)
{
    InitInSync();
    m_camera.SetDefault("GetCameraParam", "^<Error error_code=\"5\" />");
    std::u16string error;
    ProtocolCommand answer;
    EXPECT_FALSE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
    EXPECT_EQ(Text(error), "Bad file name");
    EXPECT_EQ(m_camera.CommandsNamed("GetCameraParam").size(), 3u);
    EXPECT_EQ(m_camera.CommandsNamed("ReSyncRequest").size(), 3u);
    // The camera answered every time: the link is still in sync.
    EXPECT_TRUE(m_layer->IsInSync());
    EXPECT_TRUE(m_log.Contains("CProtocolLayer::GetCameraParam() returned: false"));
}

TEST_F(LinkFixture, AckWithAStorageErrorFailsWithItsText)
{
    InitInSync();
    m_camera.Queue("FileCommand", "^<Ack error=\"6\" />");
    std::u16string error;
    ProtocolCommand answer;
    EXPECT_FALSE(m_layer->FileCommand(answer, {{u"FileCommand", u"dir"}, {u"Subject", u"./X/"}}, error, 500));
    EXPECT_EQ(Text(error), "File or directory not found.");
}

TEST_F(LinkFixture, PictureParamsRefusalCodeStopsAtOnce)
{
    InitInSync();
    m_camera.SetDefault("GetPictureParams", "^<Error error_code=\"1FF3\" />");
    std::u16string error;
    ProtocolCommand answer;
    EXPECT_FALSE(m_layer->GetPictureParams(answer, {{u"file_name", u"./P/F/a.mos"}}, error));
    EXPECT_EQ(m_camera.CommandsNamed("GetPictureParams").size(), 1u);
    EXPECT_TRUE(m_log.Contains("error x1ff3 arrivs, return false immediately"));
}

TEST_F(LinkFixture, VanishingFarEndEndsAWaitAtOnce)
{
    InitInSync();
    // Only the far end vanishing can end this wait before the test's own time limit.
    ProtocolTimeouts timeouts = m_timeouts;
    timeouts.getCameraParamMs = 3600000;
    m_layer->SetTimeouts(timeouts);
    m_camera.SetDefaultAction("GetCameraParam", [](PtyPeer& peer, const std::string&) { peer.Unplug(); });
    std::u16string error;
    ProtocolCommand answer;
    EXPECT_FALSE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
    EXPECT_TRUE(m_log.Contains("DSR Off"));
    EXPECT_TRUE(m_target.WaitFor(linkmsg::WM_OFFLINE));
    EXPECT_FALSE(m_layer->IsOnline());
    EXPECT_FALSE(m_layer->IsInSync());
    EXPECT_FALSE(m_layer->SetCameraParam({{u"ISO", u"100"}}, error));
    EXPECT_TRUE(m_log.Contains("Can't perform requsted command. PDA is out of sync"));
}

TEST_F(LinkFixture, BusyModeRefusesTransactionsUntilReset)
{
    InitInSync();
    m_peer.Write("^<PictureTaken file_name=\"./P/F/b.mos\" BUSY=\"YES\" />");
    ASSERT_TRUE(m_target.WaitFor(linkmsg::WM_PICTURE_TAKEN));
    EXPECT_TRUE(m_layer->IsBusyMode());
    std::u16string error;
    ProtocolCommand answer;
    EXPECT_FALSE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
    EXPECT_TRUE(m_log.Contains("command send failed because in busy mode"));
    EXPECT_FALSE(m_layer->ReSync(false, nullptr, 3, true));
    EXPECT_TRUE(m_log.Contains("ReSync failed because in busy mode"));
    EXPECT_TRUE(m_camera.CommandsNamed("GetCameraParam").empty());
    m_layer->ResetBusyMode();
    EXPECT_TRUE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
}

TEST_F(LinkFixture, NormalPictureTakenEndsBusyModeAndIsPostedWithItsAttributes)
{
    InitInSync();
    m_peer.Write("^<PictureTaken file_name=\"./P/F/b.mos\" busy=\"yes\" />");
    ASSERT_TRUE(m_target.WaitFor(linkmsg::WM_PICTURE_TAKEN));
    EXPECT_TRUE(m_layer->IsBusyMode());
    m_peer.Write("^<PictureTaken file_name=\"./P/F/c.mos\" />");
    ASSERT_TRUE(m_target.WaitFor(linkmsg::WM_PICTURE_TAKEN, 2));
    EXPECT_FALSE(m_layer->IsBusyMode());
    EXPECT_TRUE(m_layer->PictureTakenEvent().IsSet());
    const std::vector<ProtocolCommand> pictures = m_target.PicturesTaken();
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[1].commandID, PICTURE_TAKEN);
    EXPECT_EQ(Text(*pictures[1].FindAttribute(u"file_name")), "./P/F/c.mos");
    std::lock_guard<std::mutex> lock(m_host.m_mutex);
    EXPECT_EQ(Text(m_host.m_newest), "./P/F/c.mos");
}

TEST_F(LinkFixture, TwoMessagesInOneReadAreBothDeliveredWithoutMoreBytes)
{
    InitInSync();
    m_peer.Write("^<PictureTaken file_name=\"./P/F/1.mos\" />^<PictureTaken file_name=\"./P/F/2.mos\" />");
    ASSERT_TRUE(m_target.WaitFor(linkmsg::WM_PICTURE_TAKEN, 2));
    const std::vector<ProtocolCommand> pictures = m_target.PicturesTaken();
    EXPECT_EQ(Text(*pictures[0].FindAttribute(u"file_name")), "./P/F/1.mos");
    EXPECT_EQ(Text(*pictures[1].FindAttribute(u"file_name")), "./P/F/2.mos");
}

TEST_F(LinkFixture, StrayBytesBeforeTheCaretAndSplitAnswersStillSynchronise)
{
    m_camera.QueueAction("ReSyncRequest", [](PtyPeer& peer, const std::string&) {
        peer.Write("\x01zz>^");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        peer.Write("<ReSync");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        peer.Write("Response />");
    });
    InitInSync();
    EXPECT_TRUE(m_log.Contains("CProtocolLayer::ReadThread byte read: 1"));
}

TEST_F(LinkFixture, StrayAnswerNeverCompletesATransaction)
{
    InitInSync();
    m_peer.Write("^<Ack from=\"nowhere\" />");
    ASSERT_TRUE(Eventually([&] { return m_log.Contains("Unexpected command came: Ack"); }));
    // An unknown element (identifier 0) right before the real answer is no answer either.
    m_camera.Queue("GetCameraParam", "^<Foo />^<Ack ISO=\"400\" />");
    std::u16string error;
    ProtocolCommand answer;
    ASSERT_TRUE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
    EXPECT_EQ(answer.FindAttribute(u"from"), nullptr);
    EXPECT_EQ(Text(*answer.FindAttribute(u"ISO")), "400");
}

TEST_F(LinkFixture, LateAnswerToAFailedRequestIsNotTakenForTheNextOne)
{
    InitInSync();
    m_camera.SetDefault("GetCameraParam", ScriptedCamera::kNoAnswer);
    std::u16string error;
    ProtocolCommand answer;
    EXPECT_FALSE(m_layer->GetCameraParam(answer, {{u"name", u"A"}}, error));
    // Three requests went unanswered: the next operation must first clear the line.
    EXPECT_FALSE(m_layer->IsInSync());
    const size_t before = m_camera.Commands().size();
    // The camera finally answers A, just as the purge-and-resync runs.
    m_camera.Queue("ReSyncRequest", "^<Ack name=\"A\" />^<ReSyncResponse />");
    m_camera.Queue("GetCameraParam", "^<Ack name=\"B\" />");
    ASSERT_TRUE(m_layer->GetCameraParam(answer, {{u"name", u"B"}}, error));
    EXPECT_EQ(Text(*answer.FindAttribute(u"name")), "B");
    const Strings commands = m_camera.Commands();
    ASSERT_GE(commands.size(), before + 2);
    EXPECT_EQ(commands[before], "^<ReSyncRequest />");
    EXPECT_EQ(commands[before + 1], "^<GetCameraParam name=\"B\" />");
}

TEST_F(LinkFixture, ListingLongerThanSixteenKilobytesArrivesWhole)
{
    InitInSync();
    // About ten thousand pictures' worth of listing.
    std::string listing;
    for (int i = 0; listing.size() < 400000; ++i) {
        listing += "Pic" + std::to_string(i) + ".mos,2026:12:07:13:30:00,0;";
    }
    m_camera.Queue("FileCommand", "^<Ack FileList=\"" + listing + "\" />");
    std::u16string error;
    ProtocolCommand answer;
    ASSERT_TRUE(m_layer->FileCommand(answer, {{u"FileCommand", u"dir"}, {u"Subject", u"./P/F/"}}, error, 5000));
    EXPECT_EQ(Text(*answer.FindAttribute(u"FileList")), listing);
}

TEST_F(LinkFixture, LineFullOfNoiseIsDroppedAndTheLinkResynchronises)
{
    InitInSync();
    m_port->SetCommandTimeout(3000);
    m_peer.Write("^" + std::string(CCommPort::kMaxReceiveBuffer + 4096, 'n'));
    ASSERT_TRUE(Eventually([&] { return m_log.Contains("Receive buffer full without the end of a message"); }));
    EXPECT_TRUE(Eventually([&] { return !m_layer->IsInSync(); }));
    std::u16string error;
    ProtocolCommand answer;
    const size_t before = m_camera.Commands().size();
    EXPECT_TRUE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
    const Strings commands = m_camera.Commands();
    ASSERT_GE(commands.size(), before + 2);
    EXPECT_EQ(commands[before], "^<ReSyncRequest />");
}

TEST_F(LinkFixture, MessageWhileOutOfSyncAsksForResynchronisation)
{
    InitInSync();
    m_layer->SetOutOfSync();
    m_peer.Write("^<ReSyncLive />");
    EXPECT_TRUE(m_target.WaitFor(linkmsg::WM_SYNC));
}

TEST_F(LinkFixture, OrdinaryValueOf8184IsNotAPinRefusal)
{
    m_camera.SetDefault("RequestSync", "^<Sync ExposuresLeft=\"8184\" />");
    InitInSync();
    std::lock_guard<std::mutex> lock(m_host.m_mutex);
    EXPECT_TRUE(m_host.m_messages.empty());
}

TEST_F(LinkFixture, PinRefusalInAnErrorAttributeIsShown)
{
    m_camera.SetDefault("RequestSync", "^<Sync error=\"8184\" />");
    InitInSync();
    std::lock_guard<std::mutex> lock(m_host.m_mutex);
    ASSERT_EQ(m_host.m_messages.size(), 1u);
    EXPECT_EQ(Text(m_host.m_messages[0]),
              "Invalid pin code. Open Transport dialog, select bluetooth device and modify pin code.");
}

TEST_F(LinkFixture, SilentCameraLeavesInitOutOfSyncAndOffline)
{
    m_camera.SetDefault("ReSyncRequest", ScriptedCamera::kNoAnswer);
    ASSERT_TRUE(m_layer->Init());
    EXPECT_FALSE(m_layer->IsInSync());
    EXPECT_TRUE(m_log.Contains("Synchronize failed"));
    EXPECT_TRUE(m_target.WaitFor(linkmsg::WM_OFFLINE));
}

TEST_F(LinkFixture, FarEndReturningIsBackInSyncWithoutHelp)
{
    ProtocolTimeouts timeouts = m_timeouts;
    timeouts.watchdogPeriodMs = 200;
    m_layer->SetTimeouts(timeouts);
    InitInSync();
    m_peer.Unplug();
    ASSERT_TRUE(m_target.WaitFor(linkmsg::WM_OFFLINE));
    EXPECT_FALSE(m_layer->IsOnline());
    m_peer.Plug();
    ASSERT_TRUE(m_target.WaitFor(linkmsg::WM_SYNC));
    EXPECT_TRUE(Eventually([&] { return m_layer->IsInSync(); }, 5000));
    std::u16string error;
    ProtocolCommand answer;
    EXPECT_TRUE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
}

TEST_F(LinkFixture, ShutdownReleasesAWaitingTransaction)
{
    InitInSync();
    ProtocolTimeouts timeouts = m_timeouts;
    timeouts.getCameraParamMs = 3600000;
    m_layer->SetTimeouts(timeouts);
    m_camera.SetDefault("GetCameraParam", ScriptedCamera::kNoAnswer);
    std::thread caller([&] {
        std::u16string error;
        ProtocolCommand answer;
        EXPECT_FALSE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
    });
    ASSERT_TRUE(m_peer.WaitForCommands(3));
    m_layer->Shutdown();
    caller.join();
}

TEST_F(LinkFixture, TransportChangeGetsTheLockWhileThreadsAreOffAndTheNewLineIsUsed)
{
    InitInSync();
    PtyPeer otherPeer;
    ScriptedCamera otherCamera(otherPeer);
    auto otherPort = std::make_unique<CCommPort>(otherPeer.Path());
    ASSERT_TRUE(otherPort->OpenConnection());
    // What the controller does: threads off, then up to 2000 tries of the transport lock.
    m_layer->EnableThreads(false);
    bool locked = false;
    for (int i = 0; i < 2000 && !locked; ++i) {
        locked = m_layer->TransportLock().try_lock();
        if (!locked) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ASSERT_TRUE(locked);
    {
        std::lock_guard<std::recursive_mutex> transaction(m_layer->TransactionLock());
        m_layer->SetTransport(otherPort.get());
    }
    std::unique_ptr<CCommPort> oldPort = std::move(m_port);
    m_port = std::move(otherPort);
    oldPort.reset();
    m_layer->TransportLock().unlock();
    m_layer->EnableThreads(true);
    std::u16string error;
    ProtocolCommand answer;
    otherCamera.Queue("GetCameraParam", "^<Ack ISO=\"800\" />");
    ASSERT_TRUE(m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error));
    EXPECT_EQ(Text(*answer.FindAttribute(u"ISO")), "800");
    EXPECT_EQ(otherCamera.CommandsNamed("GetCameraParam").size(), 1u);
    m_layer.reset();
}

TEST_F(LinkFixture, ActivityCounterNeverGoesBelowZero)
{
    EXPECT_TRUE(m_layer->IsIdle());
    m_layer->BeginActivity();
    EXPECT_FALSE(m_layer->IsIdle());
    m_layer->EndActivity();
    m_layer->EndActivity();
    EXPECT_TRUE(m_layer->IsIdle());
    EXPECT_EQ(m_layer->GetActivityCount(), 0);
}

TEST_F(LinkFixture, WakeupReopensThePort)
{
    InitInSync();
    m_layer->SignalWakeup();
    ASSERT_TRUE(Eventually([&] { return m_log.Contains("Wakeup event occur. Reopening the port"); }));
    std::u16string error;
    ProtocolCommand answer;
    EXPECT_TRUE(Eventually([&] { return m_layer->GetCameraParam(answer, {AttributePair(u"ISO")}, error); }));
}

}  // namespace
