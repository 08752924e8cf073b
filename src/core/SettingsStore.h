#pragma once

// Where the configuration files lie, in which order they are read, and their
// contents in memory: DeviceMapping.ini and the command maps.

#include "mapping/CommandMap.h"
#include "mapping/DeviceMappingConfig.h"

#include <string>

class Plugin;

class SettingsStore {
public:
    explicit SettingsStore(Plugin* plugin);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    void Load();
    void LoadDeviceMap();
    void SaveDeviceMap();
    void ReloadCommandMaps();
    void Reset();

    std::wstring AircraftFolderName() const;
    std::wstring AircraftDirectory() const;
    std::wstring AircraftDirectoryWithSlash() const;

    std::wstring DeviceMapPath() const { return deviceMapPath; }
    std::wstring GlobalCommandMapPath() const;
    std::wstring UserCommandMapPath() const;
    std::wstring GlobalAircraftCommandMapPath() const;
    std::wstring UserAircraftCommandMapPath() const;

    DeviceMappingConfig& DeviceMap() { return deviceMapping; }
    const DeviceMappingConfig& DeviceMap() const { return deviceMapping; }
    CommandMap& Commands() { return commandMap; }
    const CommandMap& Commands() const { return commandMap; }

private:
    DeviceMappingConfig deviceMapping;
    CommandMap commandMap;
    Plugin* plugin;
    std::wstring deviceMapPath;
};

// The aircraft folder named by an aircraft file path: the text after
// "Airplanes" and the one character that follows it, up to the next '\'.
// A path without "Airplanes" is its own folder name.
std::wstring AircraftFolderNameOf(const std::wstring& aircraftPath);
