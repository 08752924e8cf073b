#include "support/LogTargets.h"
#include "support/Logger.h"
#include "common/RecordingTarget.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// "12/08/26 19:52:37 [    Info]: text"
const std::regex kLineShape(R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d \[([ A-Za-z]{8})\]: (.*)$)");

class LogFileTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::wstring path = folder.Path() + L"\\BKF_Log.log";
};

TEST_F(LogFileTest, LinesHaveTimeAndRightAlignedLabel) {
    {
        auto logger = MakeLogger();
        logger->AddTarget("file", std::make_shared<BKFLog::LogFile>(path));
        logger->SetLevel(4);
        logger->Error("e");
        logger->Warning("w");
        logger->Info("i %d", 3);
        logger->Trace("t");
        logger->Log(-1, "u");
        logger->Log(9, "never written");
        logger->Info("ends in newline\n");
    }
    auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 7u);
    const char* labels[] = {"   Error", " Warning", "    Info", "   Trace", " UNKNOWN", "    Info"};
    const char* texts[] = {"e", "w", "i 3", "t", "u", "ends in newline"};
    for (int i = 0; i < 6; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, kLineShape)) << lines[i];
        EXPECT_EQ(m[1].str(), labels[i]);
        EXPECT_EQ(m[2].str(), texts[i]);
    }
    EXPECT_EQ(lines[6], "") << "a text ending in a newline leaves an empty line";
}

TEST_F(LogFileTest, LongLineIsWrittenWholeOnOneLine) {
    std::string big(10000, 'q');
    {
        auto logger = MakeLogger();
        logger->AddTarget("file", std::make_shared<BKFLog::LogFile>(path));
        logger->Info("%s", big.c_str());
    }
    auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 1u);
    // std::regex recurses per character: match only the prefix.
    const size_t prefixLength = 17 + 1 + 10 + 2;
    ASSERT_GT(lines[0].size(), prefixLength);
    std::string prefix = lines[0].substr(0, prefixLength) + "x";
    std::smatch m;
    ASSERT_TRUE(std::regex_match(prefix, m, kLineShape)) << prefix;
    EXPECT_EQ(lines[0].substr(prefixLength), big);
}

TEST_F(LogFileTest, FileIsTruncatedAtEveryStart) {
    {
        auto first = std::make_shared<BKFLog::LogFile>(path);
        first->Write(2, "from the first run");
    }
    {
        auto second = std::make_shared<BKFLog::LogFile>(path);
        second->Write(2, "from the second run");
    }
    auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("from the second run"), std::string::npos);
}

TEST_F(LogFileTest, FileCanBeReadWhileItIsWritten) {
    auto file = std::make_shared<BKFLog::LogFile>(path);
    file->Write(2, "visible");
    auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("visible"), std::string::npos);
}

TEST_F(LogFileTest, UncreatableFileLeavesOtherTargetsWorking) {
    auto logger = MakeLogger();
    auto debug = std::make_shared<RecordingTarget>();
    logger->AddTarget("file", std::make_shared<BKFLog::LogFile>(
                                  folder.Path() + L"\\no such folder\\BKF_Log.log"));
    logger->AddTarget("debug", debug);
    logger->Info("one");
    logger->Info("two");
    EXPECT_EQ(debug->Lines().size(), 2u);
}

TEST_F(LogFileTest, ConcurrentLinesNeverInterleaveAndNoneIsLost) {
    const int perThread = 10000;
    {
        auto logger = MakeLogger();
        logger->AddTarget("file", std::make_shared<BKFLog::LogFile>(path));
        auto writer = [&](char tag) {
            std::string body(40, tag);
            for (int i = 0; i < perThread; ++i)
                logger->Info("%c%d:%s", tag, i, body.c_str());
        };
        std::thread a(writer, 'a');
        std::thread b(writer, 'b');
        a.join();
        b.join();
    }
    auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 2u * perThread);
    int next[2] = {0, 0};
    for (const auto& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, kLineShape)) << line;
        std::string text = m[2].str();
        char tag = text[0];
        ASSERT_TRUE(tag == 'a' || tag == 'b') << text;
        int& expected = next[tag - 'a'];
        std::string want = std::string(1, tag) + std::to_string(expected) + ":" + std::string(40, tag);
        ASSERT_EQ(text, want);
        ++expected;
    }
    EXPECT_EQ(next[0], perThread);
    EXPECT_EQ(next[1], perThread);
}

} // namespace
