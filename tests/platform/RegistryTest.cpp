#include "app/platform/Log.h"
#include "app/platform/Paths.h"
#include "app/platform/Registry.h"
#include "app/platform/TickCount.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <poll.h>
#include <random>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {

const std::string kRoot = kOrinRootKey;

std::string ReadText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteText(const fs::path& file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<fs::path> FilesStartingWith(const fs::path& folder, const std::string& prefix)
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) {
            found.push_back(entry.path());
        }
    }
    return found;
}

int WaitForChild(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

class RegistryTest : public ::testing::Test {
protected:
    testsupport::TempHome home;
    fs::path file = home.Path() / "registry.reg";
    Registry reg{file};
};

}  // namespace

TEST_F(RegistryTest, DwordValuesSurviveAFreshReadFromDisk)
{
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "PacketSize", 1536));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "Zero", 0));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "Max", 0xFFFFFFFFu));

    Registry other(file);
    EXPECT_EQ(other.ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize"), 1536u);
    EXPECT_EQ(other.ReadDword(RegistryRoot::LocalMachine, kRoot, "Zero"), 0u);
    EXPECT_EQ(other.ReadDword(RegistryRoot::LocalMachine, kRoot, "Max"), 0xFFFFFFFFu);
    EXPECT_FALSE(other.ReadDword(RegistryRoot::LocalMachine, kRoot, "Missing").has_value());
}

TEST_F(RegistryTest, FileIsWrittenInRegedit4Syntax)
{
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "PacketSize", 0x600));
    ASSERT_TRUE(reg.WriteString(RegistryRoot::LocalMachine, kRoot, "WorkingPath", "./Orin DM A/"));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot + "\\Log", "Level", 3));

    std::string text = ReadText(file);
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u) << text;
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Vantor\\Orin KX-20]\n"
                        "\"PacketSize\"=dword:00000600\n"
                        "\"WorkingPath\"=\"./Orin DM A/\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Vantor\\Orin KX-20\\Log]\n\"Level\"=dword:00000003\n"),
              std::string::npos)
        << text;
}

TEST_F(RegistryTest, StringsWithQuotesBackslashesUtf8AndLineBreaksRoundTrip)
{
    const std::string tricky = "C:\\Photos\\\"best\" \xC3\xA9t\xC3\xA9 \xE2\x82\xAC\nline2\r\\";
    ASSERT_TRUE(reg.WriteString(RegistryRoot::LocalMachine, kRoot, "Tricky", tricky));
    ASSERT_TRUE(reg.WriteString(RegistryRoot::LocalMachine, kRoot, "Empty", ""));
    ASSERT_TRUE(reg.WriteString(RegistryRoot::LocalMachine, kRoot, "Name \"quoted\" \\", "v"));

    Registry other(file);
    EXPECT_EQ(other.ReadString(RegistryRoot::LocalMachine, kRoot, "Tricky"), tricky);
    EXPECT_EQ(other.ReadString(RegistryRoot::LocalMachine, kRoot, "Empty"), std::string());
    EXPECT_EQ(other.ReadString(RegistryRoot::LocalMachine, kRoot, "Name \"quoted\" \\"), "v");

    std::string text = ReadText(file);
    EXPECT_NE(text.find("\"Tricky\"=\"C:\\\\Photos\\\\\\\"best\\\""), std::string::npos) << text;
    // Every entry stays on its own line, so the line break inside the value is escaped.
    EXPECT_NE(text.find("\\nline2\\r\\\\\"\n"), std::string::npos) << text;
}

TEST_F(RegistryTest, LookupIgnoresCaseAndKeepsTheStoredCase)
{
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot + "\\Bluetooth", "Transport", 1));
    EXPECT_EQ(reg.ReadDword(RegistryRoot::LocalMachine, "SOFTWARE\\vantor\\orin kx-20\\BLUETOOTH", "transport"), 1u);
    EXPECT_TRUE(reg.KeyExists(RegistryRoot::LocalMachine, "software\\VANTOR"));

    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, "software\\vantor\\ORIN KX-20\\bluetooth", "TRANSPORT", 0));
    auto values = reg.EnumValues(RegistryRoot::LocalMachine, kRoot + "\\Bluetooth");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "Transport");
    EXPECT_EQ(reg.ReadDword(RegistryRoot::LocalMachine, kRoot + "\\Bluetooth", "Transport"), 0u);
    EXPECT_EQ(reg.EnumSubKeys(RegistryRoot::LocalMachine, "Software\\Vantor"), std::vector<std::string>{"Orin KX-20"});
}

TEST_F(RegistryTest, UnicodeNamesMatchExactly)
{
    ASSERT_TRUE(reg.WriteString(RegistryRoot::CurrentUser, "K\xC3\xA9y", "N\xC3\xA4me", "x"));
    EXPECT_EQ(reg.ReadString(RegistryRoot::CurrentUser, "k\xC3\xA9Y", "n\xC3\xA4ME"), "x");
    EXPECT_FALSE(reg.ReadString(RegistryRoot::CurrentUser, "K\xC3\x89y", "N\xC3\xA4me").has_value());
}

TEST_F(RegistryTest, EnumeratesSubKeysAndValuesWithTheirTypes)
{
    ASSERT_TRUE(reg.CreateKey(RegistryRoot::LocalMachine, kRoot + "\\Serial"));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot + "\\Log", "Limit", 512));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot + "\\Bluetooth", "Transport", 0));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "PacketSize", 1536));
    ASSERT_TRUE(reg.WriteString(RegistryRoot::LocalMachine, kRoot, "DiskID", "ABC"));

    EXPECT_EQ(reg.EnumSubKeys(RegistryRoot::LocalMachine, kRoot),
              (std::vector<std::string>{"Serial", "Log", "Bluetooth"}));
    auto values = reg.EnumValues(RegistryRoot::LocalMachine, kRoot);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].name, "PacketSize");
    EXPECT_EQ(values[0].type, RegistryType::Dword);
    EXPECT_EQ(values[1].name, "DiskID");
    EXPECT_EQ(values[1].type, RegistryType::String);
    EXPECT_TRUE(reg.KeyExists(RegistryRoot::LocalMachine, kRoot + "\\Serial"));
    EXPECT_TRUE(reg.EnumValues(RegistryRoot::LocalMachine, kRoot + "\\Serial").empty());
    EXPECT_TRUE(reg.EnumSubKeys(RegistryRoot::LocalMachine, kRoot + "\\Nowhere").empty());
}

TEST_F(RegistryTest, RootsAreSeparate)
{
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::CurrentUser, kRoot, "PacketSize", 7));
    EXPECT_FALSE(reg.ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize").has_value());
    EXPECT_FALSE(reg.KeyExists(RegistryRoot::LocalMachine, kRoot));
    EXPECT_EQ(Registry(file).ReadDword(RegistryRoot::CurrentUser, kRoot, "PacketSize"), 7u);
    EXPECT_NE(ReadText(file).find("[HKEY_CURRENT_USER\\Software\\Vantor\\Orin KX-20]"), std::string::npos);
}

TEST_F(RegistryTest, ReadingAValueOfTheOtherTypeGivesNothing)
{
    ASSERT_TRUE(reg.WriteString(RegistryRoot::LocalMachine, kRoot, "PacketSize", "1536"));
    EXPECT_FALSE(reg.ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize").has_value());
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "PacketSize", 1536));
    EXPECT_FALSE(reg.ReadString(RegistryRoot::LocalMachine, kRoot, "PacketSize").has_value());
    EXPECT_EQ(reg.ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize"), 1536u);
}

TEST_F(RegistryTest, DeleteValueRemovesOnlyThatValue)
{
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "A", 1));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "B", 2));
    EXPECT_TRUE(reg.DeleteValue(RegistryRoot::LocalMachine, kRoot, "a"));
    EXPECT_FALSE(reg.DeleteValue(RegistryRoot::LocalMachine, kRoot, "A"));
    EXPECT_FALSE(reg.DeleteValue(RegistryRoot::LocalMachine, kRoot + "\\None", "B"));
    Registry other(file);
    EXPECT_FALSE(other.ReadDword(RegistryRoot::LocalMachine, kRoot, "A").has_value());
    EXPECT_EQ(other.ReadDword(RegistryRoot::LocalMachine, kRoot, "B"), 2u);
}

TEST_F(RegistryTest, DeleteKeyTreeRemovesTheKeyAndEverythingBelowIt)
{
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot + "\\Bluetooth\\Dev1", "Address", 1));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot + "\\Bluetooth", "Transport", 1));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot + "\\Log", "Level", 1));

    EXPECT_TRUE(reg.DeleteKeyTree(RegistryRoot::LocalMachine, kRoot + "\\BLUETOOTH"));
    Registry other(file);
    EXPECT_FALSE(other.KeyExists(RegistryRoot::LocalMachine, kRoot + "\\Bluetooth"));
    EXPECT_FALSE(other.KeyExists(RegistryRoot::LocalMachine, kRoot + "\\Bluetooth\\Dev1"));
    EXPECT_EQ(other.ReadDword(RegistryRoot::LocalMachine, kRoot + "\\Log", "Level"), 1u);
    EXPECT_EQ(ReadText(file).find("Bluetooth"), std::string::npos);
    EXPECT_FALSE(reg.DeleteKeyTree(RegistryRoot::LocalMachine, kRoot + "\\Bluetooth"));
}

TEST_F(RegistryTest, DeletingAWholeRootIsRefused)
{
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "A", 1));
    EXPECT_FALSE(reg.DeleteKeyTree(RegistryRoot::LocalMachine, ""));
    EXPECT_FALSE(reg.DeleteKeyTree(RegistryRoot::LocalMachine, "\\"));
    EXPECT_EQ(reg.ReadDword(RegistryRoot::LocalMachine, kRoot, "A"), 1u);
}

TEST_F(RegistryTest, NamesWithLineBreaksAreRefusedAndTheFileStaysReadable)
{
    EXPECT_FALSE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "Bad\nName", 1));
    EXPECT_FALSE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot + "\\Bad\nKey", "A", 1));
    EXPECT_FALSE(reg.CreateKey(RegistryRoot::LocalMachine, "X\r"));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "Good", 1));
    EXPECT_EQ(Registry(file).ReadDword(RegistryRoot::LocalMachine, kRoot, "Good"), 1u);
}

TEST_F(RegistryTest, MissingFileReadsAsEmptyAndLooksCreateNothing)
{
    fs::path nested = home.Path() / "not" / "yet" / "registry.reg";
    Registry fresh(nested);
    EXPECT_FALSE(fresh.ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize").has_value());
    EXPECT_FALSE(fresh.KeyExists(RegistryRoot::LocalMachine, kRoot));
    EXPECT_TRUE(fresh.KeyExists(RegistryRoot::LocalMachine, ""));
    EXPECT_FALSE(fs::exists(home.Path() / "not"));
    ASSERT_TRUE(fresh.WriteDword(RegistryRoot::LocalMachine, kRoot, "PacketSize", 5));
    EXPECT_EQ(Registry(nested).ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize"), 5u);
}

TEST_F(RegistryTest, HandWrittenFileWithCommentsCrLfAndUppercaseHexIsRead)
{
    WriteText(file,
              "\xEF\xBB\xBFREGEDIT4\r\n\r\n; installed defaults\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Vantor\\Orin KX-20]\r\n"
              "\"PacketSize\"=dword:0000060A\r\n"
              "\"WorkingPath\"=\"C:\\Photos\\\\x\"  \r\n"
              "@=\"default\"\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Vantor\\Orin KX-20]\r\n"
              "\"packetsize\"=dword:1\r\n");
    testsupport::LogCapture log;
    EXPECT_EQ(reg.ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize"), 1u);
    EXPECT_EQ(reg.ReadString(RegistryRoot::LocalMachine, kRoot, "WorkingPath"), "C:\\Photos\\x");
    EXPECT_EQ(reg.ReadString(RegistryRoot::LocalMachine, kRoot, ""), "default");
    auto values = reg.EnumValues(RegistryRoot::LocalMachine, kRoot);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].name, "PacketSize");
    EXPECT_FALSE(log.Contains(LOG_ERROR, ""));
}

TEST_F(RegistryTest, CorruptFileIsKeptAsideLoggedAndReadsAsDefaults)
{
    const std::string garbage = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Vantor\\Orin KX-20]\n"
                                "\"PacketSize\"=dword:00000600\n\"Baudrate\"=dword:zz\n";
    WriteText(file, garbage);
    testsupport::LogCapture log;

    EXPECT_FALSE(reg.ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize").has_value());

    auto aside = FilesStartingWith(home.Path(), "registry.reg.corrupt-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadText(aside[0]), garbage);
    // The time stamp is UTC, "yyyymmddThhmmss".
    std::string stamp = aside[0].filename().string().substr(std::string("registry.reg.corrupt-").size());
    EXPECT_EQ(stamp.size(), 15u);
    EXPECT_EQ(stamp[8], 'T');
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(log.Contains(LOG_ERROR, "does not parse"));
    EXPECT_TRUE(log.Contains(LOG_ERROR, aside[0].filename().string()));

    // From here on the registry works from defaults and never touches the file kept aside.
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "PacketSize", 1));
    EXPECT_EQ(reg.ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize"), 1u);
    EXPECT_EQ(ReadText(aside[0]), garbage);
}

TEST_F(RegistryTest, WritingOverACorruptFileKeepsTheOldOneAside)
{
    WriteText(file, "this is not a registry\n");
    testsupport::LogCapture log;
    ASSERT_TRUE(reg.WriteString(RegistryRoot::LocalMachine, kRoot, "DiskID", "D1"));
    auto aside = FilesStartingWith(home.Path(), "registry.reg.corrupt-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadText(aside[0]), "this is not a registry\n");
    EXPECT_TRUE(log.Contains(LOG_ERROR, "does not parse"));
    EXPECT_EQ(reg.ReadString(RegistryRoot::LocalMachine, kRoot, "DiskID"), "D1");
}

TEST_F(RegistryTest, TwoCorruptionsInOneSecondKeepBothFiles)
{
    WriteText(file, "first\n");
    EXPECT_FALSE(reg.KeyExists(RegistryRoot::LocalMachine, kRoot));
    WriteText(file, "second\n");
    EXPECT_FALSE(reg.KeyExists(RegistryRoot::LocalMachine, kRoot));
    auto aside = FilesStartingWith(home.Path(), "registry.reg.corrupt-");
    ASSERT_EQ(aside.size(), 2u);
    std::set<std::string> contents{ReadText(aside[0]), ReadText(aside[1])};
    EXPECT_EQ(contents, (std::set<std::string>{"first\n", "second\n"}));
}

TEST_F(RegistryTest, TruncatedFileIsTreatedAsCorrupt)
{
    WriteText(file, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Vantor\\Orin KX-20]\n\"WorkingPath\"=\"./Orin D");
    EXPECT_FALSE(reg.ReadString(RegistryRoot::LocalMachine, kRoot, "WorkingPath").has_value());
    EXPECT_EQ(FilesStartingWith(home.Path(), "registry.reg.corrupt-").size(), 1u);
}

TEST_F(RegistryTest, EmptyFileIsAnEmptyRegistryNotACorruptOne)
{
    WriteText(file, "");
    EXPECT_FALSE(reg.KeyExists(RegistryRoot::LocalMachine, kRoot));
    EXPECT_TRUE(FilesStartingWith(home.Path(), "registry.reg.corrupt-").empty());
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kWrites = 60;
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            SetLogFunction(nullptr);
            close(go[1]);
            char b;
            if (read(go[0], &b, 1) < 0) {
                _exit(3);
            }
            Registry mine(file);
            for (int i = 0; i < kWrites; ++i) {
                std::string name = std::string(c == 0 ? "A" : "B") + std::to_string(i);
                bool ok = (i % 2 == 0) ? mine.WriteDword(RegistryRoot::LocalMachine, kRoot, name, static_cast<uint32_t>(i))
                                       : mine.WriteString(RegistryRoot::LocalMachine, kRoot + "\\Sub", name, name);
                if (!ok) {
                    _exit(2);
                }
            }
            _exit(0);
        }
    }
    close(go[0]);
    close(go[1]);  // both children start together on EOF
    for (pid_t child : children) {
        int status = WaitForChild(child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0);
    }
    for (const char* who : {"A", "B"}) {
        for (int i = 0; i < kWrites; ++i) {
            std::string name = who + std::to_string(i);
            if (i % 2 == 0) {
                EXPECT_EQ(reg.ReadDword(RegistryRoot::LocalMachine, kRoot, name), static_cast<uint32_t>(i)) << name;
            } else {
                EXPECT_EQ(reg.ReadString(RegistryRoot::LocalMachine, kRoot + "\\Sub", name), name) << name;
            }
        }
    }
    EXPECT_EQ(reg.EnumValues(RegistryRoot::LocalMachine, kRoot).size(), static_cast<size_t>(kWrites));
    EXPECT_TRUE(FilesStartingWith(home.Path(), "registry.reg.corrupt-").empty());
}

TEST_F(RegistryTest, WriterKilledMidwayLeavesAFileWithThePreviousOrTheNewValue)
{
    std::mt19937 random(12345);
    // A large value makes each write long enough for the kill to land inside one now and then.
    const std::string bulk(256 * 1024, 'x');
    ASSERT_TRUE(reg.WriteString(RegistryRoot::LocalMachine, kRoot, "Bulk", bulk));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "Counter", 0));
    uint32_t lastSeen = 0;
    for (int round = 0; round < 6; ++round) {
        int started[2];
        ASSERT_EQ(pipe(started), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SetLogFunction(nullptr);
            close(started[0]);
            Registry mine(file);
            uint32_t counter = mine.ReadDword(RegistryRoot::LocalMachine, kRoot, "Counter").value_or(0);
            if (write(started[1], "s", 1) != 1) {
                _exit(3);
            }
            for (;;) {
                ++counter;
                mine.WriteString(RegistryRoot::LocalMachine, kRoot, "Bulk", bulk + std::to_string(counter));
                mine.WriteDword(RegistryRoot::LocalMachine, kRoot, "Counter", counter);
            }
        }
        close(started[1]);
        char b;
        ASSERT_EQ(read(started[0], &b, 1), 1);
        close(started[0]);
        SleepMs(5 + random() % 40);
        kill(child, SIGKILL);
        int status = WaitForChild(child);
        ASSERT_TRUE(WIFSIGNALED(status));

        testsupport::LogCapture log;
        auto counter = reg.ReadDword(RegistryRoot::LocalMachine, kRoot, "Counter");
        ASSERT_TRUE(counter.has_value()) << "round " << round;
        EXPECT_GE(*counter, lastSeen);
        lastSeen = *counter;
        auto stored = reg.ReadString(RegistryRoot::LocalMachine, kRoot, "Bulk");
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->compare(0, bulk.size(), bulk), 0);
        EXPECT_FALSE(log.Contains(LOG_ERROR, ""));
        EXPECT_TRUE(FilesStartingWith(home.Path(), "registry.reg.corrupt-").empty());
    }
    // A writer that died holding a temp file leaves it behind; the next write clears it away.
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "After", 1));
    EXPECT_TRUE(FilesStartingWith(home.Path(), "registry.reg.tmp-").empty());
}

TEST_F(RegistryTest, WriterDyingInsideItsWriteLeavesThePreviousFileIntact)
{
    const std::string before(64 * 1024, 'a');
    ASSERT_TRUE(reg.WriteString(RegistryRoot::LocalMachine, kRoot, "Bulk", before));
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "PacketSize", 1536));
    const std::string previous = ReadText(file);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SetLogFunction(nullptr);
        // The file size limit kills the writer with SIGXFSZ part-way through writing the new
        // content: a crash at the worst moment, every time.
        rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        rlimit small{96 * 1024, 96 * 1024};
        setrlimit(RLIMIT_FSIZE, &small);
        Registry mine(file);
        mine.WriteString(RegistryRoot::LocalMachine, kRoot, "Bulk", std::string(256 * 1024, 'b'));
        _exit(0);
    }
    int status = WaitForChild(child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);

    testsupport::LogCapture log;
    EXPECT_EQ(ReadText(file), previous);
    EXPECT_EQ(reg.ReadString(RegistryRoot::LocalMachine, kRoot, "Bulk"), before);
    EXPECT_EQ(reg.ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize"), 1536u);
    EXPECT_FALSE(log.Contains(LOG_ERROR, ""));
    EXPECT_FALSE(FilesStartingWith(home.Path(), "registry.reg.tmp-").empty());
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "PacketSize", 1024));
    EXPECT_TRUE(FilesStartingWith(home.Path(), "registry.reg.tmp-").empty());
}

TEST_F(RegistryTest, ReaderInAnotherProcessNeverSeesAHalfWrittenFile)
{
    ASSERT_TRUE(reg.WriteDword(RegistryRoot::LocalMachine, kRoot, "PacketSize", 1536));
    int stop[2];
    ASSERT_EQ(pipe(stop), 0);
    pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        SetLogFunction(nullptr);
        close(stop[1]);
        Registry mine(file);
        pollfd p{stop[0], POLLIN, 0};
        for (uint32_t i = 0; poll(&p, 1, 0) == 0; ++i) {
            mine.WriteString(RegistryRoot::LocalMachine, kRoot, "Filler", std::string(4096 + i % 4096, 'f'));
        }
        _exit(0);
    }
    close(stop[0]);
    testsupport::LogCapture log;
    int missing = 0;
    for (int i = 0; i < 300; ++i) {
        if (reg.ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize") != 1536u) {
            ++missing;
        }
    }
    close(stop[1]);
    WaitForChild(writer);
    EXPECT_EQ(missing, 0);
    EXPECT_FALSE(log.Contains(LOG_ERROR, ""));
    EXPECT_TRUE(FilesStartingWith(home.Path(), "registry.reg.corrupt-").empty());
}

TEST_F(RegistryTest, ThreadsOfOneProcessDoNotLoseWrites)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([this, t] {
            Registry mine(file);
            for (int i = 0; i < 15; ++i) {
                mine.WriteDword(RegistryRoot::CurrentUser, "T", "v" + std::to_string(t) + "_" + std::to_string(i), 1);
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_EQ(reg.EnumValues(RegistryRoot::CurrentUser, "T").size(), 45u);
}

TEST(Paths, ProgramFolderFollowsOrinHomeAndIsCreated)
{
    testsupport::TempHome home;
    fs::path nested = home.Path() / "a" / "b";
    setenv("ORIN_HOME", nested.c_str(), 1);
    EXPECT_EQ(Paths::ProgramFolder(), nested);
    EXPECT_TRUE(fs::is_directory(nested));
    EXPECT_EQ(Paths::LogFile(), nested / "log.txt");
    EXPECT_EQ(Paths::RegistryFile(), nested / "registry.reg");
    EXPECT_EQ(Paths::CapturesFolder().string(), nested.string() + "/Last Orin Captures/");
    EXPECT_EQ(Paths::SplashPath(), "xx../Orin Splash Image.jpg");
}

TEST(Paths, WithoutOrinHomeTheXdgDataFolderIsUsed)
{
    testsupport::TempHome home;
    unsetenv("ORIN_HOME");
    std::string previousXdg = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    std::string previousHome = std::getenv("HOME") ? std::getenv("HOME") : "";

    setenv("XDG_DATA_HOME", (home.Path() / "data").c_str(), 1);
    EXPECT_EQ(Paths::ProgramFolder(), home.Path() / "data" / "Orin KX-20");
    EXPECT_TRUE(fs::is_directory(home.Path() / "data" / "Orin KX-20"));

    unsetenv("XDG_DATA_HOME");
    setenv("HOME", home.Path().c_str(), 1);
    EXPECT_EQ(Paths::ProgramFolder(), home.Path() / ".local" / "share" / "Orin KX-20");

    setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(Paths::ProgramFolder(), home.Path() / ".local" / "share" / "Orin KX-20");

    if (previousXdg.empty()) {
        unsetenv("XDG_DATA_HOME");
    } else {
        setenv("XDG_DATA_HOME", previousXdg.c_str(), 1);
    }
    if (!previousHome.empty()) {
        setenv("HOME", previousHome.c_str(), 1);
    }
}

TEST(Paths, DefaultRegistryFollowsOrinHomeBetweenCalls)
{
    testsupport::TempHome first;
    ASSERT_TRUE(DefaultRegistry().WriteDword(RegistryRoot::LocalMachine, kRoot, "PacketSize", 1));
    EXPECT_TRUE(fs::exists(first.Path() / "registry.reg"));
    {
        testsupport::TempHome second;
        EXPECT_EQ(DefaultRegistry().File(), second.Path() / "registry.reg");
        EXPECT_FALSE(DefaultRegistry().ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize").has_value());
    }
    EXPECT_EQ(DefaultRegistry().ReadDword(RegistryRoot::LocalMachine, kRoot, "PacketSize"), 1u);
}
