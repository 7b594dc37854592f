#include "app/controller/AppLogger.h"
#include "app/platform/Log.h"
#include "app/platform/Registry.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

std::string ReadFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void SetLogKey(uint32_t level, uint32_t limitKb)
{
    auto reg = platform::DefaultRegistry();
    const std::string key = std::string(platform::kOrinRootKey) + "\\Log";
    reg.WriteDword(platform::RegistryRoot::LocalMachine, key, "Level", level);
    reg.WriteDword(platform::RegistryRoot::LocalMachine, key, "Limit", limitKb);
}

TEST(AppLogger, HeaderHasTheFixedLinesAndColumnHeader)
{
    testsupport::TempHome home;
    const auto path = home.Path() / "sub" / "log.txt";
    {
        CAppLogger logger(path, false, true);
    }
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.rfind("Build: 052.96\r\nDate: ", 0), 0u);
    EXPECT_TRUE(std::regex_search(text, std::regex("Date: \\d{4}/\\d{2}/\\d{2} Time: \\d{2}:\\d{2}:\\d{2}\r\n")));
    EXPECT_NE(text.find("\r\nPlatform: "), std::string::npos);
    EXPECT_NE(text.find("\r\nModel: "), std::string::npos);
    EXPECT_TRUE(std::regex_search(text, std::regex("OS Version: \\d+\\.\\d+ Build \\d+\r\n")));
    EXPECT_TRUE(std::regex_search(text, std::regex("Memory: total -?\\d+ free -?\\d+ load \\d+%\r\n")));
    EXPECT_TRUE(std::regex_search(text, std::regex("Storage: total -?\\d+ free -?\\d+ available -?\\d+\r\n\r\n")));
    EXPECT_TRUE(std::regex_search(text, std::regex("Ticks: \\d{8,}\r\n\r\n")));
    EXPECT_NE(text.find("Ticks     Thread ID      Level\r\n" + std::string(80, '-') + "\r\n"), std::string::npos);
    EXPECT_TRUE(std::regex_search(text, std::regex("\\d{2}:\\d{2}:\\d{2}:\\d{3}  \\d+ Log file closed\r\n$")));
}

TEST(AppLogger, WithoutLogKeyOnlyErrorsAreWritten)
{
    testsupport::TempHome home;
    const auto path = home.Path() / "log.txt";
    {
        CAppLogger logger(path, false, true);
        EXPECT_TRUE(logger.Log(3, "a.cpp", 1, "C::Info", "- enter"));
        EXPECT_TRUE(logger.Log(2, "a.cpp", 2, "C::Warn", "warned"));
        EXPECT_TRUE(logger.Log(1, "a.cpp", 3, "C::Err", "failed badly"));
    }
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.find("C::Info"), std::string::npos);
    EXPECT_EQ(text.find("C::Warn"), std::string::npos);
    EXPECT_TRUE(std::regex_search(text, std::regex("\\d{8}  0x[0-9A-F]{8}    ERROR:  a\\.cpp\\(3\\)  C::Err  failed badly\r\n")));
}

TEST(AppLogger, LeaveLineCarriesNoSourceFilePart)
{
    testsupport::TempHome home;
    SetLogKey(3, 512);
    const auto path = home.Path() / "log.txt";
    {
        CAppLogger logger(path, false, true);
        CAppLogger::Install(&logger);
        {
            ORIN_TRACE("CThing::Method");
        }
        CAppLogger::Install(nullptr);
    }
    const std::string text = ReadFile(path);
    EXPECT_TRUE(std::regex_search(text, std::regex("   INFO:  AppLoggerTest\\.cpp\\(\\d+\\)  CThing::Method  - enter\r\n")));
    EXPECT_TRUE(std::regex_search(text, std::regex("0x[0-9A-F]{8}     INFO:  CThing::Method  - leave\r\n")));
}

TEST(AppLogger, TimeColumnComesFirstWhenOn)
{
    testsupport::TempHome home;
    SetLogKey(3, 512);
    const auto path = home.Path() / "log.txt";
    {
        CAppLogger logger(path, true, true);
        logger.Log(3, nullptr, 0, "F", "m");
    }
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("Time          Ticks     Thread ID      Level"), std::string::npos);
    EXPECT_TRUE(std::regex_search(text, std::regex("\n\\d{2}:\\d{2}:\\d{2}:\\d{3}  \\d{8}  0x[0-9A-F]{8}     INFO:  F  m\r\n")));
}

TEST(AppLogger, FileOverLimitIsCutToItsNewestHalfBeforeTheNextLine)
{
    testsupport::TempHome home;
    SetLogKey(3, 1);  // 1024 bytes
    const auto path = home.Path() / "log.txt";
    CAppLogger logger(path, false, false);
    EXPECT_EQ(logger.LimitBytes(), 1024u);
    const std::string filler(100, 'x');
    while (std::filesystem::file_size(path) <= 1024) {
        logger.Log(3, nullptr, 0, nullptr, filler.c_str());
    }
    const std::string before = ReadFile(path);
    ASSERT_GT(before.size(), 1024u);
    logger.Log(3, nullptr, 0, "Marker", nullptr);
    const std::string after = ReadFile(path);
    const std::string expectedHead = before.substr(before.size() - 512);
    ASSERT_GE(after.size(), 512u);
    EXPECT_EQ(after.substr(0, 512), expectedHead);
    EXPECT_NE(after.find("Marker\r\n", 512), std::string::npos);
}

TEST(AppLogger, ConcurrentWritersNeverInterleaveInsideALine)
{
    testsupport::TempHome home;
    SetLogKey(3, 4096);
    const auto path = home.Path() / "log.txt";
    {
        CAppLogger logger(path, false, true);
        std::vector<std::thread> writers;
        for (int t = 0; t < 4; ++t) {
            writers.emplace_back([&logger, t] {
                const std::string body(200, static_cast<char>('a' + t));
                for (int i = 0; i < 300; ++i) {
                    logger.Log(3, "w.cpp", t, "Writer", body.c_str());
                }
            });
        }
        for (auto& w : writers) {
            w.join();
        }
    }
    std::istringstream in(ReadFile(path));
    std::string line;
    int bodyLines = 0;
    const std::regex shape("\\d{8}  0x[0-9A-F]{8}     INFO:  w\\.cpp\\(([0-3])\\)  Writer  ([a-d])\\2{199}\r");
    while (std::getline(in, line)) {
        if (line.find("Writer") == std::string::npos) {
            continue;
        }
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line.substr(0, 80);
        EXPECT_EQ(m[2].str()[0], 'a' + (m[1].str()[0] - '0'));
        ++bodyLines;
    }
    EXPECT_EQ(bodyLines, 1200);
}

TEST(AppLogger, LogFunctionIsNullSafeBeforeAndAfterTheLogger)
{
    platform::SetLogFunction(nullptr);
    ORIN_LOG_ERROR("Nobody::Listens", "dropped %d", 1);
    EXPECT_FALSE(CAppLogger::LogFunction(1, nullptr, 0, nullptr, "x"));
}

}  // namespace
