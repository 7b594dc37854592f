#include "app/platform/Event.h"
#include "app/platform/InstanceChannel.h"
#include "app/platform/Log.h"
#include "app/platform/NamedEvent.h"
#include "app/platform/TickCount.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {

int WaitForChild(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Runs body in a child process and returns its exit code (-signal when it was killed).
template <class F>
int InChild(F&& body)
{
    pid_t pid = fork();
    if (pid == 0) {
        SetLogFunction(nullptr);
        _exit(body());
    }
    if (pid < 0) {
        return -1000;
    }
    int status = WaitForChild(pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

int RawConnect(const fs::path& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads until the far end closes; what it sent before.
std::string ReadToEnd(int fd)
{
    std::string all;
    char buffer[256];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
        all.append(buffer, static_cast<size_t>(n));
    }
    return all;
}

class InstanceChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenNamedEvent(kSuspendEventName, false, false)->Reset();
        OpenNamedEvent(kWakeupEventName, false, false)->Reset();
    }
    testsupport::TempHome home;
};

}  // namespace

TEST(NamedEvent, SameNameGivesTheSameEventCreatedByTheFirstOpen)
{
    auto a = OpenNamedEvent("test-named-event", true, true);
    auto b = OpenNamedEvent("test-named-event", false, false);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_TRUE(b->IsManualReset());
    EXPECT_TRUE(b->IsSet());
    EXPECT_NE(OpenNamedEvent("test-named-event-2", false, false).get(), a.get());
}

TEST(NamedEvent, ASignalBeforeTheWaiterOpensTheEventIsKept)
{
    OpenNamedEvent("test-early-signal", false, false)->Set();
    EXPECT_TRUE(OpenNamedEvent("test-early-signal", false, false)->Wait(0));
}

TEST_F(InstanceChannelTest, SecondAcquireInAnotherProcessFailsWhileTheFirstHoldsIt)
{
    InstanceChannel first;
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(first.IsAcquired());
    EXPECT_EQ(InChild([] {
                  InstanceChannel second;
                  return second.Acquire() ? 1 : 0;
              }),
              0);
    first.Close();
    EXPECT_EQ(InChild([] {
                  InstanceChannel second;
                  return second.Acquire() ? 1 : 0;
              }),
              1);
}

TEST_F(InstanceChannelTest, SecondAcquireInTheSameProcessFailsToo)
{
    InstanceChannel first;
    ASSERT_TRUE(first.Acquire());
    InstanceChannel second;
    EXPECT_FALSE(second.Acquire());
    EXPECT_TRUE(first.Acquire());  // already ours
}

TEST_F(InstanceChannelTest, SocketIsPrivateToTheUser)
{
    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());
    struct stat st {};
    ASSERT_EQ(stat(InstanceChannel::SocketPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(InstanceChannelTest, DifferentProgramFoldersHaveDifferentInstances)
{
    fs::path mine = InstanceChannel::SocketPath();
    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());
    testsupport::TempHome other;
    EXPECT_NE(InstanceChannel::SocketPath(), mine);
    InstanceChannel elsewhere;
    EXPECT_TRUE(elsewhere.Acquire());
}

TEST_F(InstanceChannelTest, SignalSuspendFromAnotherProcessSetsTheSuspendEvent)
{
    auto suspend = OpenNamedEvent(kSuspendEventName, false, false);
    auto wakeup = OpenNamedEvent(kWakeupEventName, false, false);
    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());

    EXPECT_EQ(InChild([] { return InstanceChannel::Signal(InstanceRequest::Suspend) ? 0 : 1; }), 0);
    // Signal returns after the instance confirmed, so the event is set by now.
    EXPECT_TRUE(suspend->Wait(0));
    EXPECT_FALSE(wakeup->Wait(0));
}

TEST_F(InstanceChannelTest, SignalWakeupSetsTheWakeupEvent)
{
    auto suspend = OpenNamedEvent(kSuspendEventName, false, false);
    auto wakeup = OpenNamedEvent(kWakeupEventName, false, false);
    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());
    EXPECT_TRUE(InstanceChannel::Signal(InstanceRequest::Wakeup));
    EXPECT_TRUE(wakeup->Wait(0));
    EXPECT_FALSE(suspend->Wait(0));
}

TEST_F(InstanceChannelTest, SignalWithNothingRunningReturnsFalse)
{
    EXPECT_FALSE(InstanceChannel::Signal(InstanceRequest::Wakeup));
    EXPECT_FALSE(InstanceChannel::Signal(InstanceRequest::Suspend));
    EXPECT_FALSE(OpenNamedEvent(kWakeupEventName, false, false)->Wait(0));
    EXPECT_FALSE(InstanceChannel::RequestExit(1000));
}

TEST_F(InstanceChannelTest, RequestExitReturnsOnlyAfterTheInstanceHasClosed)
{
    const fs::path marker = home.Path() / "instance-ended";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SetLogFunction(nullptr);
        close(ready[0]);
        Event exitRequested(true, false);
        InstanceChannel channel;
        if (!channel.Acquire()) {
            _exit(2);
        }
        channel.SetExitHandler([&exitRequested] { exitRequested.Set(); });
        if (write(ready[1], "r", 1) != 1) {
            _exit(3);
        }
        if (!exitRequested.Wait(20000)) {
            _exit(4);
        }
        // Shutting down takes a while; the requester must still be waiting.
        SleepMs(300);
        std::ofstream(marker) << "done";
        channel.Close();
        _exit(0);
    }
    close(ready[1]);
    char b;
    ASSERT_EQ(read(ready[0], &b, 1), 1);
    close(ready[0]);

    EXPECT_TRUE(InstanceChannel::RequestExit(20000));
    EXPECT_TRUE(fs::exists(marker));
    int status = WaitForChild(child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The mutex is free for the next start.
    InstanceChannel next;
    EXPECT_TRUE(next.Acquire());
}

TEST_F(InstanceChannelTest, RequestExitSeesAnInstanceThatDiesInsteadOfClosing)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SetLogFunction(nullptr);
        close(ready[0]);
        InstanceChannel channel;
        if (!channel.Acquire()) {
            _exit(2);
        }
        channel.SetExitHandler([] { raise(SIGKILL); });
        if (write(ready[1], "r", 1) != 1) {
            _exit(3);
        }
        pause();
        _exit(0);
    }
    close(ready[1]);
    char b;
    ASSERT_EQ(read(ready[0], &b, 1), 1);
    close(ready[0]);
    EXPECT_TRUE(InstanceChannel::RequestExit(20000));
    int status = WaitForChild(child);
    EXPECT_TRUE(WIFSIGNALED(status));
}

TEST_F(InstanceChannelTest, RequestExitTimesOutWhenTheInstanceDoesNotEnd)
{
    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());
    Event requested(true, false);
    channel.SetExitHandler([&requested] { requested.Set(); });
    testsupport::LogCapture log;
    EXPECT_FALSE(InstanceChannel::RequestExit(200));
    EXPECT_TRUE(requested.Wait(0));
    EXPECT_TRUE(log.Contains(LOG_ERROR, "had not ended"));
}

TEST_F(InstanceChannelTest, ExitRequestWithoutAHandlerIsRefused)
{
    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());
    EXPECT_FALSE(InstanceChannel::RequestExit(5000));
    EXPECT_TRUE(InstanceChannel::Signal(InstanceRequest::Suspend));  // still serving
}

TEST_F(InstanceChannelTest, StaleSocketOfAKilledInstanceIsTakenOver)
{
    EXPECT_EQ(InChild([] {
                  InstanceChannel channel;
                  if (!channel.Acquire()) {
                      return 2;
                  }
                  raise(SIGKILL);
                  return 0;
              }),
              -SIGKILL);
    ASSERT_TRUE(fs::exists(fs::symlink_status(InstanceChannel::SocketPath())));
    EXPECT_FALSE(InstanceChannel::Signal(InstanceRequest::Suspend));

    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());
    EXPECT_TRUE(InstanceChannel::Signal(InstanceRequest::Suspend));
    EXPECT_TRUE(OpenNamedEvent(kSuspendEventName, false, false)->Wait(0));
}

TEST_F(InstanceChannelTest, StaleSocketFileWithoutOwnerIsTakenOver)
{
    fs::path path = InstanceChannel::SocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);  // the file stays, nobody listens

    InstanceChannel channel;
    EXPECT_TRUE(channel.Acquire());
    EXPECT_TRUE(InstanceChannel::Signal(InstanceRequest::Wakeup));
}

TEST_F(InstanceChannelTest, CloseRemovesTheSocketAndFreesTheMutex)
{
    {
        InstanceChannel channel;
        ASSERT_TRUE(channel.Acquire());
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(InstanceChannel::SocketPath())));
    EXPECT_FALSE(fs::exists(InstanceChannel::SocketPath().string() + ".lock"));
    EXPECT_FALSE(InstanceChannel::Signal(InstanceRequest::Suspend));
    InstanceChannel again;
    EXPECT_TRUE(again.Acquire());
}

TEST_F(InstanceChannelTest, UnknownRequestIsRefusedAndChangesNothing)
{
    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());
    int fd = RawConnect(InstanceChannel::SocketPath());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "suspendx\n", 9), 9);
    EXPECT_EQ(ReadToEnd(fd), "error\n");
    close(fd);
    EXPECT_FALSE(OpenNamedEvent(kSuspendEventName, false, false)->Wait(0));
}

TEST_F(InstanceChannelTest, RequestSplitAcrossWritesIsAssembled)
{
    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());
    int fd = RawConnect(InstanceChannel::SocketPath());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "wak", 3), 3);
    SleepMs(20);
    ASSERT_EQ(write(fd, "eup\r\n", 5), 5);
    EXPECT_EQ(ReadToEnd(fd), "ok\n");
    close(fd);
    EXPECT_TRUE(OpenNamedEvent(kWakeupEventName, false, false)->Wait(0));
}

TEST_F(InstanceChannelTest, OverlongRequestIsDroppedWithoutAnAnswer)
{
    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());
    int fd = RawConnect(InstanceChannel::SocketPath());
    ASSERT_GE(fd, 0);
    std::string flood(4096, 's');
    // The instance may close while we are still sending; that is the point.
    signal(SIGPIPE, SIG_IGN);
    (void)!write(fd, flood.data(), flood.size());
    EXPECT_EQ(ReadToEnd(fd), "");
    close(fd);
    EXPECT_TRUE(InstanceChannel::Signal(InstanceRequest::Suspend));
}

TEST_F(InstanceChannelTest, SilentClientDoesNotBlockOthers)
{
    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());
    int silent = RawConnect(InstanceChannel::SocketPath());
    ASSERT_GE(silent, 0);
    EXPECT_TRUE(InstanceChannel::Signal(InstanceRequest::Suspend));
    // It is dropped after its grace time, with nothing sent to it.
    EXPECT_EQ(ReadToEnd(silent), "");
    close(silent);
}

TEST_F(InstanceChannelTest, ClosingWithAClientConnectedDoesNotHang)
{
    InstanceChannel channel;
    ASSERT_TRUE(channel.Acquire());
    int silent = RawConnect(InstanceChannel::SocketPath());
    ASSERT_GE(silent, 0);
    SleepMs(20);
    channel.Close();
    EXPECT_EQ(ReadToEnd(silent), "");
    close(silent);
    EXPECT_FALSE(channel.IsAcquired());
}

TEST_F(InstanceChannelTest, OnlyOneOfManySimultaneousStartsBecomesTheInstance)
{
    constexpr int kStarts = 6;
    int go[2], results[2], release[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(results), 0);
    ASSERT_EQ(pipe(release), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kStarts; ++i) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            SetLogFunction(nullptr);
            close(go[1]);
            close(results[0]);
            close(release[1]);
            char b;
            (void)!read(go[0], &b, 1);
            InstanceChannel channel;
            bool won = channel.Acquire();
            (void)!write(results[1], won ? "W" : "L", 1);
            if (won) {
                (void)!read(release[0], &b, 1);  // hold the mutex until the parent has counted
                channel.Close();
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    close(go[0]);
    close(results[1]);
    close(release[0]);
    close(go[1]);  // all start at once
    std::string outcome;
    char buffer[16];
    ssize_t n;
    while (outcome.size() < kStarts && (n = read(results[0], buffer, sizeof buffer)) > 0) {
        outcome.append(buffer, static_cast<size_t>(n));
    }
    close(release[1]);
    close(results[0]);
    for (pid_t pid : children) {
        WaitForChild(pid);
    }
    EXPECT_EQ(std::count(outcome.begin(), outcome.end(), 'W'), 1) << outcome;
    EXPECT_EQ(outcome.size(), static_cast<size_t>(kStarts));
}
