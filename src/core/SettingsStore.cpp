#include "core/SettingsStore.h"

#include "core/Plugin.h"
#include "mapping/MappingErrors.h"
#include "support/Logger.h"
#include "support/PluginPath.h"
#include "support/TextConversion.h"

namespace {

const wchar_t* const kCommandMapFile = L"CommandMapping.ini";
// The user's per-aircraft file has always been spelt this way; users' files depend on it.
const wchar_t* const kUserAircraftCommandMapFile = L"CommandMaping.ini";

} // namespace

std::wstring AircraftFolderNameOf(const std::wstring& aircraftPath) {
    const std::wstring marker = L"Airplanes";
    size_t found = aircraftPath.find(marker);
    if (found == std::wstring::npos)
        return aircraftPath;
    // Skip "Airplanes" and the one character after it, whatever it is.
    size_t start = found + marker.size() + 1;
    if (start >= aircraftPath.size())
        return std::wstring();
    std::wstring folder = aircraftPath.substr(start);
    size_t slash = folder.find(L'\\');
    if (slash != std::wstring::npos)
        folder.erase(slash);
    return folder;
}

SettingsStore::SettingsStore(Plugin* plugin)
    : plugin(plugin), deviceMapPath(plugin->PreferencesFolder() + L"\\DeviceMapping.ini") {}

void SettingsStore::Load() {
    LoadDeviceMap();
    ReloadCommandMaps();
}

void SettingsStore::LoadDeviceMap() {
    std::wstring path = DeviceMapPath();
    try {
        deviceMapping.Load(path);
    } catch (const MappingLoadError& error) {
        gLogger->Warning("Parse error loading device map \"%s\" - device map file ignored: %s",
                         WideToUtf8(path).c_str(), error.what());
    }
}

void SettingsStore::SaveDeviceMap() {
    deviceMapping.Save(deviceMapPath);
}

void SettingsStore::ReloadCommandMaps() {
    commandMap.Clear();
    commandMap.Load(GlobalCommandMapPath());
    commandMap.Load(UserCommandMapPath());
    if (!AircraftFolderName().empty()) {
        std::wstring path = GlobalAircraftCommandMapPath();
        if (!path.empty())
            commandMap.Load(path);
        path = UserAircraftCommandMapPath();
        if (!path.empty())
            commandMap.Load(path);
    }
    commandMap.DumpInfo();
}

void SettingsStore::Reset() {
    deviceMapping = DeviceMappingConfig();
    commandMap.Clear();
}

std::wstring SettingsStore::AircraftFolderName() const {
    return AircraftFolderNameOf(plugin->AircraftPath());
}

std::wstring SettingsStore::AircraftDirectory() const {
    return DirectoryOf(plugin->AircraftPath());
}

std::wstring SettingsStore::AircraftDirectoryWithSlash() const {
    return AircraftDirectory() + L"\\";
}

std::wstring SettingsStore::GlobalCommandMapPath() const {
    return GetPluginPath() + L"\\" + kCommandMapFile;
}

std::wstring SettingsStore::UserCommandMapPath() const {
    return plugin->PreferencesFolder() + L"\\" + kCommandMapFile;
}

std::wstring SettingsStore::GlobalAircraftCommandMapPath() const {
    return GetPluginPath() + L"\\Airplanes\\" + AircraftFolderName() + L"\\" + kCommandMapFile;
}

std::wstring SettingsStore::UserAircraftCommandMapPath() const {
    return plugin->PreferencesFolder() + L"\\Airplanes\\" + AircraftFolderName() + L"\\" +
           kUserAircraftCommandMapFile;
}
