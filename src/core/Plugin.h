#pragma once

// The application object: owns every long-lived part of the program and runs on
// the user-interface thread.

#include "core/AppWindows.h"
#include "core/DeviceRecord.h"
#include "core/SettingsStore.h"
#include "device_io/DeviceIOManager.h"
#include "device_io/DeviceMessages.h"
#include "mapping/CommandRecords.h"
#include "sim_link/ClientEvent.h"
#include "sim_link/CommandPageClient.h"
#include "sim_link/CustomEventMapper.h"
#include "sim_link/DataDefinition.h"
#include "sim_link/NotificationGroup.h"
#include "sim_link/SimEventHoldQueue.h"
#include "sim_link/SimVarRegistry.h"
#include "simconnect/SimConnect.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

constexpr const char* kApplicationName = "Brackenfold Device Interface";
constexpr const char* kApplicationVersion = "2.0.1.0";

// Posted by the SimConnect client library when packets have arrived.
constexpr UINT WMU_SIMCONNECT = WM_APP + 5;

class Plugin {
public:
    Plugin(HINSTANCE instance, int nCmdShow, WindowFactories factories = {});
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Lifecycle.
    void Start();
    void EnableDevices(bool enable);
    uint32_t RunMessageLoop();
    void SetSimConnectHandle(HANDLE handle);
    std::wstring PreferencesFolder() const { return preferencesFolder; }
    bool IsRunning() const { return devicesRunning.load(); }
    HWND MainWindowHandle() const;
    void ClearDevices();
    void TurnOffLeds();
    void ClearDeviceLeds(const std::string& key);

    // Simulator messages.
    void DrainSimConnect();
    void DispatchSimConnect(const SIMCONNECT_RECV* message, uint32_t size);
    void OnFrame();
    void OnSixHz();
    void SetSimActive(bool active);
    void OnSimActive();
    void OnSimInactive();
    std::wstring AircraftPath() const;

    // Device messages.
    void PollDevices();
    void QueueDeviceMessage(const DeviceIncomingMessage& message);
    void OnDeviceMessage(const DeviceIncomingMessage& message) { QueueDeviceMessage(message); }
    void DrainDeviceMessages();
    void HandleDeviceConnect(const DeviceIncomingMessage& message);
    void HandleDeviceDisconnect(const DeviceIncomingMessage& message);
    void HandleDeviceCommand(const DeviceIncomingMessage& message);
    void AssignDefaultFunction(const std::string& key);
    void StoreDeviceMapping(const DeviceRecord& record);
    void SetDeviceFunction(const std::string& key, uint32_t function);
    void RecalibrateYokes();
    void RefreshWindow();
    void UpdateDevices();

    // Device registration.
    void RegisterEvents(const std::string& key);
    void RemoveEvents(const std::string& key);
    void ReregisterAllDevices();
    void ResolveCommands(DeviceRecord& record, const CommandBindings& bindings);
    void ResolveIndicators(DeviceRecord& record, const std::vector<IndicatorEntry>& entries);
    void AddNullIndicator(DeviceRecord& record, const IndicatorEntry& entry);

    // Members, in the order they are built.
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<IYokeDialog> yokeDialog;
    std::unique_ptr<DeviceIOManager> ioManager;
    ClientEventRegistry clientEvents;
    NotificationGroupRegistry notificationGroups;
    DataDefinitionPool dataDefinitions;
    SimVarRegistry simVars;
    SimEventHoldQueue holdQueue;
    CommandPageClient commandPages;
    CustomEventMapper eventMapper;
    std::map<std::string, DeviceRecord> devices;
    std::wstring preferencesFolder;
    bool registrationPending = false;
    std::atomic<bool> devicesRunning{false};
    HANDLE simConnect = nullptr;
    std::deque<DeviceIncomingMessage> deviceMessages;
    std::shared_ptr<SystemEvent> aircraftLoadedEvent;
    std::shared_ptr<SystemEvent> simStateEvent;
    std::shared_ptr<SystemEvent> frameEvent;
    std::shared_ptr<SystemEvent> sixHzEvent;
    std::shared_ptr<NotificationGroup> uiGroup;
    std::shared_ptr<SimEvent> showEvent;
    std::shared_ptr<SimEvent> yokeSettingsEvent;
    std::string aircraftPath;
    std::unique_ptr<IMainWindow> mainWindow;
    bool simActive = false;

private:
    void ResolvePreferencesFolder();
    void RefreshTitleAndList();
    void OnEvent(const SIMCONNECT_RECV* message, uint32_t size);
    void OnSystemState(const SIMCONNECT_RECV* message, uint32_t size);
    void OnAircraftPath(std::string path);
    DeviceRecord* FindDevice(const std::string& key);
    // The keys of the connected devices, in key order.
    std::vector<std::string> DeviceKeys() const;

    WindowFactories factories;
};

// The one application object of the process.
extern std::unique_ptr<Plugin> gPlugin;
