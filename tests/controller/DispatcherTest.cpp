#include "app/controller/ControlApplication.h"
#include "app/controller/HeadlessViewProcessor.h"
#include "app/controller/PrivateMessages.h"
#include "app/controller/RecordingViewProcessor.h"
#include "app/platform/ThreadStart.h"
#include "app/platform/TickCount.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

namespace {

// Waits for work that must end; a hang cannot be unwound, so the test binary ends at once.
template <class T>
T FinishedOrAbort(std::future<T>& work, const char* what)
{
    if (work.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: %s never ended\n", what);
        std::fflush(stderr);
        std::_Exit(1);
    }
    return work.get();
}

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        app.SetViewFactory([this](ViewId id) {
            auto view = std::make_unique<CRecordingViewProcessor>(id);
            views[static_cast<size_t>(id)] = view.get();
            return view;
        });
        app.SetMessageBox([this](IViewProcessor*, const std::u16string& text, int) {
            messages.push_back(text);
            return 1;
        });
        ASSERT_TRUE(app.Initialize());
    }

    CRecordingViewProcessor& V(ViewId id) { return *views[static_cast<size_t>(id)]; }

    testsupport::TempHome home;
    testsupport::LogCapture log;
    CControlApplication app;
    std::array<CRecordingViewProcessor*, kViewCount> views{};
    std::vector<std::u16string> messages;
};

TEST_F(Dispatcher, StartShowsTheExposureViewAsCurrentOperation7)
{
    EXPECT_EQ(app.CurrentOperation(), 7);
    EXPECT_EQ(app.CurrentView(), &V(ViewId::Exposure));
    EXPECT_TRUE(V(ViewId::Exposure).IsShown());
}

TEST_F(Dispatcher, PreviousStateAfterExposureThenFramingReturnsToExposure)
{
    app.ProcessEvent(ON_FRAMING_VIEW);
    EXPECT_EQ(app.CurrentOperation(), 6);
    EXPECT_EQ(app.PreviousOperation(), 7);
    EXPECT_EQ(app.CurrentView(), &V(ViewId::Framing));
    EXPECT_FALSE(V(ViewId::Exposure).IsShown());

    app.ProcessEvent(ON_PREVIOUS_STATE);
    EXPECT_EQ(app.CurrentOperation(), 7);
    EXPECT_EQ(app.PreviousOperation(), 6);
    EXPECT_EQ(app.CurrentView(), &V(ViewId::Exposure));
    EXPECT_TRUE(V(ViewId::Exposure).IsShown());
    EXPECT_FALSE(V(ViewId::Framing).IsShown());
}

TEST_F(Dispatcher, CaptureSettingsThroughFolderTreeComesBackAndThenToTheViewBeforeIt)
{
    app.ProcessEvent(ON_TONING_VIEW);           // 8
    app.ProcessEvent(ON_CAPTURE_SETTINGS);      // 4, previous 8
    EXPECT_EQ(app.CurrentOperation(), 4);
    app.ProcessEvent(ON_SELECT_SHOOTING_FOLDER);  // 5; pushes 8
    EXPECT_EQ(app.CurrentOperation(), 5);
    EXPECT_EQ(V(ViewId::FolderTree).FolderTreeMode(), FOLDER_TREE_SELECT_SHOOTING_FOLDER);
    EXPECT_EQ(app.CurrentView(), &V(ViewId::FolderTree));

    app.ProcessEvent(ON_PREVIOUS_STATE);  // back to capture settings; history pops 8
    EXPECT_EQ(app.CurrentOperation(), 4);
    EXPECT_EQ(app.PreviousOperation(), 8);
    EXPECT_EQ(app.CurrentView(), &V(ViewId::CaptureSettings));

    app.ProcessEvent(ON_PREVIOUS_STATE);  // the view before capture settings
    EXPECT_EQ(app.CurrentOperation(), 8);
    EXPECT_EQ(app.CurrentView(), &V(ViewId::Toning));
}

TEST_F(Dispatcher, CaptureSettingsThroughAboutViewKeepsTheRoundTrip)
{
    app.ProcessEvent(ON_CAPTURE_SETTINGS);  // 4, previous 7
    app.ProcessEvent(ON_ABOUT_VIEW);        // 37, pushes 7
    EXPECT_EQ(app.CurrentView(), &V(ViewId::About));
    app.ProcessEvent(ON_PREVIOUS_STATE);
    EXPECT_EQ(app.CurrentOperation(), 4);
    EXPECT_EQ(app.PreviousOperation(), 7);
    app.ProcessEvent(ON_PREVIOUS_STATE);
    EXPECT_EQ(app.CurrentView(), &V(ViewId::Exposure));
}

TEST_F(Dispatcher, EventWithoutOperationMakesZeroCurrentAndLogsIt)
{
    log.Clear();
    EXPECT_TRUE(app.ProcessEvent(ON_SORT_BY_NAME));
    EXPECT_EQ(app.CurrentOperation(), 0);
    EXPECT_EQ(app.PreviousOperation(), 7);
    EXPECT_TRUE(log.Contains(1, "No operation defined"));
    EXPECT_TRUE(log.Contains("CControlApplication::ProcessEvent ON_SORT_BY_NAME"));
}

TEST_F(Dispatcher, CancelSetupAndThumbnailPagingChangeNothing)
{
    app.ProcessEvent(ON_FRAMING_VIEW);
    for (int e : {ON_CANCEL_SETUP, ON_FOUR_VIEW_BROWSE_BACK, ON_FOUR_VIEW_BROWSE_FORWARD, ON_NINE_VIEW_BROWSE_BACK,
                  ON_NINE_VIEW_BROWSE_FORWARD}) {
        app.ProcessEvent(e);
        EXPECT_EQ(app.CurrentOperation(), 6) << EventName(e);
        EXPECT_EQ(app.PreviousOperation(), 7) << EventName(e);
    }
    EXPECT_EQ(app.CurrentView(), &V(ViewId::Framing));
}

TEST_F(Dispatcher, FullScreenWithoutAPictureKeepsTheState)
{
    app.ProcessEvent(ON_FULL_SCREEN_VIEW);
    EXPECT_EQ(app.CurrentOperation(), 7);
    EXPECT_EQ(app.CurrentView(), &V(ViewId::Exposure));
}

TEST_F(Dispatcher, ThumbnailViewShownTwiceIsRefreshedInPlaceAndZoomsReset)
{
    app.ProcessEvent(ON_LIST_VIEW);
    EXPECT_EQ(app.CurrentView(), &V(ViewId::List));
    V(ViewId::List).ClearCalls();
    app.ProcessEvent(ON_LIST_VIEW);
    auto calls = V(ViewId::List).Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Refresh"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Display"), 0);
    auto exposureCalls = V(ViewId::Exposure).Calls();
    EXPECT_NE(std::find(exposureCalls.begin(), exposureCalls.end(), "ResetZoom"), exposureCalls.end());
}

TEST_F(Dispatcher, CopyFilesHandsTheTargetToTheFolderTree)
{
    EventParameter p;
    p.text = u"./Part1/Target/";
    app.ProcessEvent(ON_COPY_FILES, &p);
    EXPECT_EQ(V(ViewId::FolderTree).FolderTreeMode(), FOLDER_TREE_COPY);
    EXPECT_EQ(V(ViewId::FolderTree).FolderTreeArgument(), u"./Part1/Target/");
    EXPECT_EQ(app.CurrentOperation(), 5);
}

TEST_F(Dispatcher, ExitHidesTheViewAndSetsTheExitEvent)
{
    EXPECT_TRUE(app.ProcessEvent(ON_EXIT));
    EXPECT_TRUE(app.ExitEvent().IsSet());
    EXPECT_EQ(app.CurrentView(), nullptr);
    EXPECT_FALSE(V(ViewId::Exposure).IsShown());
    EXPECT_TRUE(log.Contains("Hiding current ViewProcessor()"));
    // The dispatcher stays marked busy after the exit.
    EXPECT_FALSE(app.WaitForProcessEvent(0));
}

TEST_F(Dispatcher, DispatcherIsMarkedIdleBetweenEvents)
{
    app.ProcessEvent(ON_TONING_VIEW);
    EXPECT_TRUE(app.WaitForProcessEvent(0));
}

TEST_F(Dispatcher, RelativeExposureReturnsTheTextInTheCallersString)
{
    EventParameter p;
    p.x = 10;
    p.y = 20;
    std::u16string result;
    EXPECT_TRUE(app.ProcessEvent(ON_GET_RELATIVE_EXPOSURE, &p, &result));
    EXPECT_EQ(result, u"0.0");
    EXPECT_EQ(app.CurrentOperation(), 7);
}

TEST_F(Dispatcher, CloseVisualObjectsEntersTheBackgroundAndSuspendEventBringsTheViewsBack)
{
    app.ProcessEvent(ON_CLOSE_VISUAL_OBJECTS);
    EXPECT_EQ(app.CurrentOperation(), 27);
    EXPECT_TRUE(app.IsSuspended());
    EXPECT_EQ(app.CurrentView(), nullptr);
    app.SuspendEvent().Set();
    for (int i = 0; i < 200 && app.IsSuspended(); ++i) {
        platform::Event(false, false).Wait(10);
    }
    EXPECT_FALSE(app.IsSuspended());
    ASSERT_NE(app.CurrentView(), nullptr);
    EXPECT_EQ(app.CurrentView()->Id(), ViewId::Exposure);
}

TEST_F(Dispatcher, ClosingTheVisualObjectsTwiceStillReturnsOnTheUsersStart)
{
    app.ProcessEvent(ON_CLOSE_VISUAL_OBJECTS);
    ASSERT_TRUE(app.IsSuspended());
    auto secondClose = std::async(std::launch::async, [&] { return app.ProcessEvent(ON_CLOSE_VISUAL_OBJECTS); });
    // The user starts the program again while the second close may still be under way.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    app.SuspendEvent().Set();
    EXPECT_TRUE(FinishedOrAbort(secondClose, "a second ON_CLOSE_VISUAL_OBJECTS"));
    for (int i = 0; i < 500 && app.IsSuspended(); ++i) {
        platform::Event(false, false).Wait(10);
    }
    std::lock_guard lock(app.ControllerLock());
    EXPECT_FALSE(app.IsSuspended());
    ASSERT_NE(app.CurrentView(), nullptr);
    EXPECT_EQ(app.CurrentView()->Id(), ViewId::Exposure);
}

TEST(DispatcherStart, LinkThatCannotStartFailsInitializeWithTheCriticalMessage)
{
    testsupport::TempHome home;
    CControlApplication app;
    std::vector<std::u16string> messages;
    app.SetMessageBox([&](IViewProcessor*, const std::u16string& text, int) {
        messages.push_back(text);
        return 1;
    });
    class FailingLink : public ICameraLink {
        bool Init() override { return false; }
        bool ReSync() override { return false; }
        void Shutdown() override {}
        bool IsConnected() const override { return false; }
    };
    app.SetCameraLink(std::make_unique<FailingLink>());
    EXPECT_FALSE(app.Initialize());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], u"Critical error. Cannot initialize protocol layer");
}

TEST(DispatcherStart, BatteryThreadTheSystemRefusesLeavesTheProgramRunning)
{
    testsupport::TempHome home;
    testsupport::LogCapture log;
    auto app = std::make_unique<CControlApplication>();
    platform::RefuseThreadStarts(1);
    const bool started = app->Initialize();
    platform::RefuseThreadStarts(0);
    EXPECT_TRUE(started);
    EXPECT_TRUE(log.Contains(1, "CControlApplication::StartThread(): Failed to start PollForBatteryStatus thread"));
    EXPECT_EQ(app->CurrentOperation(), 7);
    // Ending must not wait for the thread that never ran.
    auto ended = std::async(std::launch::async, [&] { app.reset(); return true; });
    EXPECT_TRUE(FinishedOrAbort(ended, "ending without the battery thread"));
}

TEST(DispatcherRun, ExitRequestPostedToTheHiddenWindowEndsRun)
{
    testsupport::TempHome home;
    CControlApplication app;
    bool ran = app.Run([](CControlApplication& a) {
        a.HiddenWindow()->PostMessage(platform::MakeMessage(WM_EXIT_APPLICATION));
    });
    EXPECT_TRUE(ran);
}

TEST(DispatcherRun, ExitRequestedBeforeRunEndsRunOnceItPumps)
{
    testsupport::TempHome home;
    CControlApplication app;
    app.RequestExit();
    auto ran = std::async(std::launch::async, [&] { return app.Run(); });
    EXPECT_TRUE(FinishedOrAbort(ran, "Run after an early exit request"));
}

TEST(DispatcherRun, ExitRequestedWhileStartingEndsRunOnceTheStartIsOver)
{
    testsupport::TempHome home;
    CControlApplication app;
    // A link slow to come up: the request (Ctrl-C, another start with --exit) arrives meanwhile.
    class LinkAskingToExit : public ICameraLink {
    public:
        explicit LinkAskingToExit(CControlApplication& owner) : m_owner(owner) {}
        bool Init() override
        {
            m_owner.RequestExit();
            return true;
        }
        bool ReSync() override { return true; }
        void Shutdown() override {}
        bool IsConnected() const override { return false; }

    private:
        CControlApplication& m_owner;
    };
    app.SetCameraLink(std::make_unique<LinkAskingToExit>(app));
    auto ran = std::async(std::launch::async, [&] { return app.Run(); });
    EXPECT_TRUE(FinishedOrAbort(ran, "Run after an exit request during the start"));
    EXPECT_TRUE(app.ExitEvent().IsSet());
}

TEST(DispatcherRun, AUserStartAfterAnExitFromTheBackgroundBringsNothingBack)
{
    testsupport::TempHome home;
    CControlApplication app;
    bool ran = app.Run([](CControlApplication& a) {
        a.ProcessEvent(ON_CLOSE_VISUAL_OBJECTS);
        a.HiddenWindow()->PostMessage(platform::MakeMessage(WM_EXIT_APPLICATION));
    });
    EXPECT_TRUE(ran);
    // The program has been taken down; the background wait must have ended with it.
    app.SuspendEvent().Set();
    platform::SleepMs(300);
    std::lock_guard lock(app.ControllerLock());
    EXPECT_EQ(app.CurrentView(), nullptr);
    EXPECT_EQ(app.View(ViewId::Exposure), nullptr);
}

TEST(DispatcherBackground, ClosingWhileAViewTakesAMessageToTheDispatcherEnds)
{
    testsupport::TempHome home;
    CControlApplication app;
    app.SetViewFactory([&app](ViewId id) { return std::make_unique<CHeadlessViewProcessor>(id, app); });
    ASSERT_TRUE(app.Initialize());
    auto closed = std::async(std::launch::async, [&] {
        std::lock_guard lock(app.ControllerLock());
        // The exposure view's display thread hands a camera message to the busy dispatcher.
        app.CurrentView()->PostMessage(platform::MakeMessage(WM_PROCESS_PICTURE_TAKEN));
        platform::SleepMs(300);
        return app.ProcessEvent(ON_CLOSE_VISUAL_OBJECTS);
    });
    EXPECT_TRUE(FinishedOrAbort(closed, "ON_CLOSE_VISUAL_OBJECTS with a view waiting for the dispatcher"));
    EXPECT_TRUE(app.IsSuspended());
    EXPECT_EQ(app.View(ViewId::Exposure), nullptr);
}

TEST(DispatcherExit, ExitWhileTheBatteryPollWaitsForTheDispatcherEnds)
{
    testsupport::TempHome home;
    CControlApplication app;
    app.SetBatteryPollInterval(1);
    ASSERT_TRUE(app.Initialize());
    auto exited = std::async(std::launch::async, [&] {
        std::lock_guard lock(app.ControllerLock());
        // Long enough for the poll to have woken and to be waiting for the dispatcher.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return app.ProcessEvent(ON_EXIT);
    });
    EXPECT_TRUE(FinishedOrAbort(exited, "ON_EXIT with the battery poll waiting"));
    EXPECT_TRUE(app.ExitEvent().IsSet());
}

}  // namespace
