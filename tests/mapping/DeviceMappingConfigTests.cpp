#include "TestSupport.h"

#include "mapping/DeviceMappingConfig.h"
#include "mapping/MappingErrors.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

class DeviceMappingConfigTest : public ::testing::Test {
protected:
    LogCapture log;
    ScratchFolder folder;
    DeviceMappingConfig config;
};

TEST_F(DeviceMappingConfigTest, LoadsAndSavesInTheFileOrder) {
    const std::wstring path =
        folder.Write("DeviceMapping.ini", "[GlobalConfig]\nprobe_legacy=0\n"
                                          "[3]\nPort=COM3\nModel=M\nFunction=1\n"
                                          "[Ridgelineyoke]\nroll_state=1\n"
                                          "[9]\nId=42\nFunction=4\nModel=N\nPort=COM7\n"
                                          "[5]\nPort=COM8\nModel=N\n"
                                          "[RidgelineYoke]\nother=1\n"
                                          "[x]\nPort=COM1\nModel=P\nFunction=2\nId=\n");
    config.rollState = 3;
    config.pitchState = 1;
    config.Load(path);
    EXPECT_FALSE(config.legacyProbing);
    EXPECT_EQ(config.rollState, 2u);
    EXPECT_EQ(config.pitchState, 2u);
    ASSERT_EQ(config.mappings.size(), 3u);
    const auto& second = **std::next(config.mappings.begin());
    EXPECT_EQ(second.Port, "COM7");
    EXPECT_EQ(second.Model, "N");
    EXPECT_EQ(second.Function, 4);
    EXPECT_EQ(second.Id, "42");
    EXPECT_TRUE(log.Lines().empty());

    config.Save(path);
    EXPECT_EQ(ScratchFolder::Read(path), "[0]\r\nPort=COM3\r\nModel=M\r\nFunction=1\r\n"
                                         "[1]\r\nPort=COM7\r\nModel=N\r\nFunction=4\r\nId=42\r\n"
                                         "[2]\r\nPort=COM1\r\nModel=P\r\nFunction=2\r\n"
                                         "[RidgelineYoke]\r\nroll_state=2\r\npitch_state=2\r\n"
                                         "[GlobalConfig]\r\nprobe_legacy=false\r\n");
    EXPECT_FALSE(std::filesystem::exists(folder.Path("DeviceMapping.ini.tmp")));

    DeviceMappingConfig empty;
    const std::wstring emptyPath = folder.Path("Empty.ini").wstring();
    empty.Save(emptyPath);
    EXPECT_EQ(ScratchFolder::Read(emptyPath), "[RidgelineYoke]\r\nroll_state=2\r\npitch_state=2\r\n"
                                              "[GlobalConfig]\r\nprobe_legacy=true\r\n");
}

TEST_F(DeviceMappingConfigTest, MissingFileSyntaxErrorsAndKeptSettings) {
    config.SetMapping("COM1", "M", 1, "");
    config.rollState = 3;
    config.legacyProbing = false;
    config.Load(folder.Path("missing.ini").wstring());
    EXPECT_EQ(config.mappings.size(), 1u);

    const std::wstring broken = folder.Write("broken.ini", "[0]\nPort=COM1\nnot a key line\n");
    try {
        config.Load(broken);
        FAIL() << "no exception";
    } catch (const MappingLoadError& e) {
        EXPECT_STREQ(e.what(), ":3: '=' character not found in line");
        EXPECT_EQ(e.line, 3u);
        EXPECT_EQ(e.fileName, "");
    }
    EXPECT_EQ(config.mappings.size(), 1u);

    // Without the yoke and global sections the current values stay.
    config.Load(folder.Write("plain.ini", "[0]\nPort=COM2\nModel=Q\nFunction=3\n"));
    ASSERT_EQ(config.mappings.size(), 1u);
    EXPECT_EQ(config.mappings.front()->Port, "COM2");
    EXPECT_EQ(config.rollState, 3u);
    EXPECT_FALSE(config.legacyProbing);

    EXPECT_STREQ(MappingLoadError("plain message").what(), "plain message");
}

TEST_F(DeviceMappingConfigTest, BadValuesSkipOneSectionOrFallBackToDefaults) {
    const std::wstring path =
        folder.Write("DeviceMapping.ini", "[0]\nPort=COM1\nModel=A\nFunction=1\n"
                                          "[1]\nPort=COM2\nModel=B\nFunction=abc\n"
                                          "[2]\nPort=COM3\nModel=C\nFunction=\n"
                                          "[3]\nPort=COM4\nModel=D\nFunction=2\n"
                                          "[RidgelineYoke]\nroll_state=\npitch_state=3\n"
                                          "[GlobalConfig]\nprobe_legacy=maybe\n");
    config.legacyProbing = false;
    config.Load(path);
    ASSERT_EQ(config.mappings.size(), 2u);
    EXPECT_EQ(config.mappings.front()->Model, "A");
    EXPECT_EQ(config.mappings.back()->Model, "D");
    EXPECT_EQ(config.rollState, 2u);
    EXPECT_EQ(config.pitchState, 3u);
    EXPECT_TRUE(config.legacyProbing);

    const std::string file = folder.Path("DeviceMapping.ini").u8string();
    const std::vector<std::string> expected = {
        "Device map \"" + file +
            "\": section [1] has an invalid Function value \"abc\" - device mapping skipped",
        "Device map \"" + file +
            "\": section [2] has an invalid Function value \"\" - device mapping skipped",
        "Device map \"" + file +
            "\": section [RidgelineYoke] has an invalid roll_state value \"\" - default 2 used",
        "Device map \"" + file +
            "\": section [GlobalConfig] has an invalid probe_legacy value \"maybe\" - default "
            "true used",
    };
    EXPECT_EQ(log.LinesAt(BKFLog::LevelWarning), expected);
}

TEST_F(DeviceMappingConfigTest, FindAndSetMappingRules) {
    config.mappings.push_back(std::make_shared<DeviceMapping>("COM3", 1, "M", ""));
    config.mappings.push_back(std::make_shared<DeviceMapping>("COM3", 2, "M", ""));
    config.mappings.push_back(std::make_shared<DeviceMapping>("COM5", 3, "N", "42"));
    config.mappings.push_back(std::make_shared<DeviceMapping>("COM6", 4, "N", "42"));
    const auto at = [&](size_t index) { return *std::next(config.mappings.begin(), index); };

    EXPECT_EQ(config.Find("COM3", "M", ""), at(0));
    EXPECT_EQ(config.Find("COM3", "M", "7"), at(0));  // stored Id empty, same port
    EXPECT_EQ(config.Find("COM6", "N", "42"), at(3)); // all three match
    EXPECT_EQ(config.Find("COM9", "N", "42"), at(2)); // model and id
    EXPECT_EQ(config.Find("COM6", "N", ""), at(3));   // only the port rule of the empty id
    EXPECT_EQ(config.Find("COM9", "N", ""), nullptr);
    EXPECT_EQ(config.Find("COM3", "m", ""), nullptr);
    EXPECT_EQ(config.Find("COM4", "M", "7"), nullptr);

    // A stored mapping without Id gets the Id the device reports.
    config.SetMapping("COM3", "M", 2, "7");
    EXPECT_EQ(at(0)->Id, "7");
    EXPECT_EQ(at(0)->Function, 2);
    // The same unit on another port moves the stored Port.
    config.SetMapping("COM7", "N", 5, "42");
    EXPECT_EQ(at(2)->Port, "COM7");
    EXPECT_EQ(at(2)->Function, 5);
    // An empty id keeps the stored one.
    config.SetMapping("COM7", "N", 6, "");
    EXPECT_EQ(at(2)->Id, "42");
    EXPECT_EQ(at(2)->Function, 6);
    // No match appends.
    config.SetMapping("COM8", "Z", 1, "");
    ASSERT_EQ(config.mappings.size(), 5u);
    EXPECT_EQ(at(4)->Model, "Z");
    EXPECT_EQ(at(4)->Port, "COM8");
}

TEST_F(DeviceMappingConfigTest, FailedSaveKeepsTheOldFile) {
    const std::string original = "[0]\nPort=COM1\nModel=A\nFunction=1\n";
    const std::wstring path = folder.Write("DeviceMapping.ini", original);
    config.SetMapping("COM2", "B", 2, "");

    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    config.Save(path);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ScratchFolder::Read(path), original);
    EXPECT_TRUE(log.Contains(BKFLog::LevelInfo, "Unable to open DeviceMapping file"));

    // A file that cannot be replaced (held open without delete sharing) stays too.
    log.ClearLines();
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    config.Save(path);
    CloseHandle(held);
    EXPECT_EQ(ScratchFolder::Read(path), original);
    ASSERT_EQ(log.LinesAt(BKFLog::LevelWarning).size(), 1u);
    EXPECT_EQ(log.LinesAt(BKFLog::LevelWarning)[0].rfind(
                  "Unable to replace DeviceMapping file \"" +
                      folder.Path("DeviceMapping.ini").u8string() + "\" - file left unchanged: ",
                  0),
              0u);
    EXPECT_FALSE(std::filesystem::exists(folder.Path("DeviceMapping.ini.tmp")));

    // A folder that does not exist cannot take the file.
    log.ClearLines();
    config.Save(folder.Path("nowhere").wstring() + L"\\DeviceMapping.ini");
    EXPECT_TRUE(log.Contains(BKFLog::LevelInfo, "Unable to open DeviceMapping file"));

    log.ClearLines();
    config.Save(path);
    EXPECT_TRUE(log.Lines().empty());
    DeviceMappingConfig reloaded;
    reloaded.Load(path);
    ASSERT_EQ(reloaded.mappings.size(), 1u);
    EXPECT_EQ(reloaded.mappings.back()->Model, "B");
}

} // namespace
