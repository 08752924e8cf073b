#include "support/Logger.h"
#include "common/RecordingTarget.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        logger = MakeLogger();
        file = std::make_shared<RecordingTarget>();
        debug = std::make_shared<RecordingTarget>();
        logger->AddTarget("file", file);
        logger->AddTarget("debug", debug);
        logger->SetLevel(2);
    }

    std::unique_ptr<BKFLog::Logger> logger;
    std::shared_ptr<RecordingTarget> file;
    std::shared_ptr<RecordingTarget> debug;
};

TEST_F(LoggerTest, InfoReachesEveryTargetButDebugAndTraceReachNone) {
    logger->Info("plain %d", 1);
    logger->Warning("warn %s", "x");
    logger->Error("err");
    logger->Debug("debug line");
    logger->Trace("trace line");

    std::vector<RecordingTarget::Line> expected = {{2, "plain 1"}, {1, "warn x"}, {0, "err"}};
    EXPECT_EQ(file->Lines(), expected);
    EXPECT_EQ(debug->Lines(), expected);
}

TEST_F(LoggerTest, LevelsAreComparedSigned) {
    logger->Log(5, "too verbose");
    logger->Log(-1, "negative %d", -1);
    std::vector<RecordingTarget::Line> expected = {{-1, "negative -1"}};
    EXPECT_EQ(file->Lines(), expected);
    EXPECT_EQ(debug->Lines(), expected);
    EXPECT_STREQ(BKFLog::LevelName(-1), "UNKNOWN");
    EXPECT_STREQ(BKFLog::LevelName(5), "UNKNOWN");
}

TEST_F(LoggerTest, TargetLevelIsPerTarget) {
    logger->SetTargetLevel("file", 4);
    logger->Trace("only in the file");
    EXPECT_EQ(file->Lines().size(), 1u);
    EXPECT_TRUE(debug->Lines().empty());

    // Unknown names change nothing.
    logger->SetTargetLevel("nowhere", 0);
    logger->RemoveTarget("nowhere");
    logger->Info("still both");
    EXPECT_EQ(file->Lines().size(), 2u);
    EXPECT_EQ(debug->Lines().size(), 1u);
}

TEST_F(LoggerTest, SecondTargetUnderPresentNameIsReleased) {
    auto second = std::make_shared<RecordingTarget>();
    logger->SetTargetLevel("file", 4);
    logger->AddTarget("file", second);
    EXPECT_EQ(second.use_count(), 1) << "the logger must not keep the rejected target";
    logger->Trace("trace");
    EXPECT_EQ(file->Lines().size(), 1u) << "the first target keeps its level";
    EXPECT_TRUE(second->Lines().empty());
}

TEST_F(LoggerTest, RemovedTargetGetsNothing) {
    logger->RemoveTarget("debug");
    logger->Info("after removal");
    EXPECT_TRUE(debug->Lines().empty());
    EXPECT_EQ(file->Lines().size(), 1u);
}

TEST_F(LoggerTest, SetLevelAffectsOnlyPresentTargets) {
    logger->SetLevel(4);
    auto late = std::make_shared<RecordingTarget>();
    logger->AddTarget("late", late);
    logger->Debug("debug");
    EXPECT_EQ(file->Lines().size(), 1u);
    EXPECT_TRUE(late->Lines().empty()) << "a target added later starts at Info";
}

// Accepts answers exactly what a dispatched line would find, through every
// change of the targets and their levels.
TEST_F(LoggerTest, AcceptsTellsWhetherSomeTargetWritesTheLevel) {
    auto late = std::make_shared<RecordingTarget>();
    auto agrees = [&](const std::string& state) {
        for (int level = -2; level <= 5; ++level) {
            size_t before = file->Lines().size() + debug->Lines().size() + late->Lines().size();
            logger->Log(level, "probe");
            bool written =
                file->Lines().size() + debug->Lines().size() + late->Lines().size() > before;
            EXPECT_EQ(logger->Accepts(level), written) << state << ", level " << level;
        }
    };
    agrees("both at Info");
    EXPECT_FALSE(logger->Accepts(BKFLog::LevelTrace));
    logger->SetTargetLevel("file", BKFLog::LevelTrace);
    agrees("file at Trace");
    EXPECT_TRUE(logger->Accepts(BKFLog::LevelTrace)) << "one target is enough";
    logger->AddTarget("file", std::make_shared<RecordingTarget>());
    agrees("a second file target refused");
    logger->RemoveTarget("file");
    agrees("file removed");
    EXPECT_FALSE(logger->Accepts(BKFLog::LevelDebug));
    logger->SetLevel(-2);
    agrees("every target at -2");
    logger->RemoveTarget("debug");
    EXPECT_FALSE(logger->Accepts(std::numeric_limits<int>::min())) << "no target, no line";
    agrees("no target");
    logger->AddTarget("late", late);
    agrees("a target added later");
    EXPECT_TRUE(logger->Accepts(BKFLog::LevelInfo));
}

TEST_F(LoggerTest, LongLinesAreFormattedWhole) {
    std::string big(10000, 'x');
    logger->Info("[%s]", big.c_str());
    ASSERT_EQ(file->Lines().size(), 1u);
    EXPECT_EQ(file->Lines()[0].text, "[" + big + "]");
}

TEST_F(LoggerTest, ManyArgumentsSurviveBothFormattingPasses) {
    // Both passes must see the same arguments; a consumed list would garble them.
    logger->Info("%s|%d|%s|%.2f|%s|%lld", "alpha", 42, "beta", 2.5, "gamma", 1234567890123LL);
    ASSERT_EQ(file->Lines().size(), 1u);
    EXPECT_EQ(file->Lines()[0].text, "alpha|42|beta|2.50|gamma|1234567890123");
}

TEST(LogTraceTest, DoesNothingWithoutLoggerAndTracesWithOne) {
    gLogger.reset();
    LogTrace("nobody listens %d", 1);
    EXPECT_FALSE(LogAccepts(BKFLog::LevelError)) << "without a logger nothing is accepted";

    gLogger = MakeLogger();
    auto target = std::make_shared<RecordingTarget>();
    gLogger->AddTarget("t", target);
    gLogger->SetTargetLevel("t", 4);
    EXPECT_TRUE(LogAccepts(BKFLog::LevelTrace));
    LogTrace("window %d", 7);
    std::vector<RecordingTarget::Line> expected = {{4, "window 7"}};
    EXPECT_EQ(target->Lines(), expected);
    gLogger.reset();
}

} // namespace
