// Where the configuration files lie and which aircraft folder a path names.

#include "PluginTestSupport.h"

#include "core/SettingsStore.h"
#include "support/PluginPath.h"

TEST(AircraftFolderTest, FolderAfterAirplanes) {
    EXPECT_EQ(AircraftFolderNameOf(L"SimObjects\\Airplanes\\Trainer_A\\aircraft.cfg"),
              L"Trainer_A");
    EXPECT_EQ(AircraftFolderNameOf(L"C:\\Sims\\Airplanes\\Trainer_A"), L"Trainer_A");
    EXPECT_EQ(AircraftFolderNameOf(L"X\\MyAirplanes_Y\\Z"), L"Y")
        << "\"Airplanes\" inside a longer word counts, with the one character after it";
    EXPECT_EQ(AircraftFolderNameOf(L"no marker\\here"), L"no marker\\here");
    EXPECT_EQ(AircraftFolderNameOf(L""), L"");
    EXPECT_EQ(AircraftFolderNameOf(L"SimObjects\\Airplanes"), L"");
    EXPECT_EQ(AircraftFolderNameOf(L"SimObjects\\Airplanes\\"), L"");
    EXPECT_EQ(AircraftFolderNameOf(L"Airplanes/Generic/x.cfg"), L"Generic/x.cfg");
}

TEST_F(PluginTest, PathsOfTheFourLevels) {
    SettingsStore& store = *gPlugin->settings;
    const std::wstring program = GetPluginPath();
    const std::wstring preferences = gPlugin->PreferencesFolder();
    EXPECT_EQ(store.DeviceMapPath(), preferences + L"\\DeviceMapping.ini");
    EXPECT_EQ(store.GlobalCommandMapPath(), program + L"\\CommandMapping.ini");
    EXPECT_EQ(store.UserCommandMapPath(), preferences + L"\\CommandMapping.ini");
    gPlugin->aircraftPath = "SimObjects\\Airplanes\\Trainer_A\\aircraft.cfg";
    EXPECT_EQ(store.GlobalAircraftCommandMapPath(),
              program + L"\\Airplanes\\Trainer_A\\CommandMapping.ini");
    EXPECT_EQ(store.UserAircraftCommandMapPath(),
              preferences + L"\\Airplanes\\Trainer_A\\CommandMaping.ini");
    EXPECT_EQ(store.AircraftDirectoryWithSlash(), L"SimObjects\\Airplanes\\Trainer_A\\");
    EXPECT_NE(preferences.find(L"Brackenfold MSFS Device Interface"), std::wstring::npos);
}

TEST_F(PluginTest, ReloadWithoutAircraftReadsTwoFilesAndLaterSectionsWin) {
    log->Clear();
    gPlugin->settings->ReloadCommandMaps();
    size_t unable = 0;
    for (const std::string& text : Texts())
        unable += text.rfind("Unable to open ", 0) == 0;
    EXPECT_EQ(unable, 2u);

    // The user's map beside the global one replaces its whole sections.
    const std::wstring user = gPlugin->settings->UserCommandMapPath();
    WriteFile(user, "[HW#CN1]\nB = EV_USER\n");
    gPlugin->settings->ReloadCommandMaps();
    DeleteFileW(user.c_str());
    const auto& commands = gPlugin->settings->Commands().Commands("HW", "CN1");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands.begin()->second.at(0).eventName, "EV_USER");
}

TEST_F(PluginTest, BrokenDeviceMapIsIgnoredWithAWarning) {
    WriteFile(DeviceMapPath(), "[0\nPort=COM1\n");
    gPlugin->settings->LoadDeviceMap();
    bool warned = false;
    for (const std::string& text : LogTexts(*log, BKFLog::LevelWarning))
        warned |= text.rfind("Parse error loading device map \"", 0) == 0 &&
                  text.find("- device map file ignored: ") != std::string::npos;
    EXPECT_TRUE(warned);
}
