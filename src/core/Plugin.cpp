#include "core/Plugin.h"

#include "sim_link/SimConnectHandle.h"
#include "support/LogTargets.h"
#include "support/Logger.h"
#include "support/PluginPath.h"
#include "support/TextConversion.h"

#include <shlobj.h>

#include <stdexcept>

std::unique_ptr<Plugin> gPlugin;

namespace {

constexpr const char* kCannotConnect = "simconnect: cannot connect to simulator";

// Keys that work wherever the focus sits inside the main window.
bool IsWindowKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP)
        return false;
    return msg.wParam == VK_ESCAPE || msg.wParam == VK_SPACE || msg.wParam == VK_F1;
}

} // namespace

Plugin::Plugin(HINSTANCE instance, int nCmdShow, WindowFactories factories)
    : simVars(&dataDefinitions), commandPages(clientEvents, notificationGroups),
      eventMapper(commandPages), factories(std::move(factories)) {
    ResolvePreferencesFolder();
    if (!preferencesFolder.empty())
        gLogger->AddTarget("file",
                           std::make_shared<BKFLog::LogFile>(preferencesFolder + L"\\BKF_Log.log"));
    gLogger->Info("%s %s", kApplicationName, kApplicationVersion);
    if (this->factories.mainWindow)
        mainWindow = this->factories.mainWindow(this, instance, nCmdShow);
    settings = std::make_unique<SettingsStore>(this);
}

void Plugin::ResolvePreferencesFolder() {
    PWSTR known = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE | KF_FLAG_INIT,
                                       nullptr, &known)) &&
        known) {
        folder = std::wstring(known) + L"\\Brackenfold MSFS Device Interface";
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            std::string reason = LastErrorText();
            gLogger->Error("Couldn't create AppData directory %s: %s", WideToUtf8(folder).c_str(),
                           reason.c_str());
            folder.clear();
        }
    }
    if (folder.empty()) {
        gLogger->Error("Falling back to storing preferences in the install directory");
        try {
            folder = GetPluginPath();
        } catch (const std::exception& error) {
            gLogger->Error("%s", error.what());
        }
    }
    CoTaskMemFree(known);
    preferencesFolder = folder;
}

Plugin::~Plugin() {
    LogTrace("Stopping plugin");
    try {
        EnableDevices(false);
    } catch (const std::exception& error) {
        gLogger->Error("Error while stopping the devices: %s", error.what());
    }
    ClearDevices();
    if (IsValidSimConnectHandle(simConnect)) {
        SimConnect_Close(simConnect);
        SetSimConnectHandle(nullptr);
    }
    gLogger->Info("simconnect: disconnected from simulator");
    LogTrace("Plugin stopped");
    if (mainWindow) {
        mainWindow->Destroy();
        mainWindow.reset();
    }
}

void Plugin::Start() {
    aircraftLoadedEvent = clientEvents.GetSystemEvent("AircraftLoaded");
    simStateEvent = clientEvents.GetSystemEvent("Sim");
    frameEvent = clientEvents.GetSystemEvent("Frame");
    sixHzEvent = clientEvents.GetSystemEvent("6Hz");

    uiGroup = notificationGroups.CreateGroup();
    showEvent = clientEvents.GetSimEvent("BKF.PLGN.Show");
    uiGroup->AddEvent(showEvent);
    yokeSettingsEvent = clientEvents.GetSimEvent("BKF.PLGN.RidgelineYokeSettings");
    uiGroup->AddEvent(yokeSettingsEvent);
    uiGroup->SetPriority(1);

    HANDLE handle = nullptr;
    HRESULT result =
        SimConnect_Open(&handle, kApplicationName, MainWindowHandle(), WMU_SIMCONNECT, nullptr, 0);
    if (FAILED(result)) {
        gLogger->Error("%s", kCannotConnect);
        throw std::runtime_error(kCannotConnect);
    }
    SetSimConnectHandle(handle);
}

void Plugin::SetSimConnectHandle(HANDLE handle) {
    if (handle == simConnect)
        return;
    simConnect = handle;
    clientEvents.SetHandle(handle);
    notificationGroups.SetHandle(handle);
    dataDefinitions.SetHandle(handle);
    simVars.ClearRequested();
    commandPages.SetHandle(handle);
    eventMapper.RequeueAll();
    registrationPending = true;
    if (!IsValidSimConnectHandle(handle))
        return;
    if (aircraftLoadedEvent)
        aircraftLoadedEvent->RequestState(0);
    if (simStateEvent)
        simStateEvent->RequestState(1);
}

void Plugin::EnableDevices(bool enable) {
    if (enable) {
        if (!settings)
            settings = std::make_unique<SettingsStore>(this);
        settings->Load();
        if (factories.yokeDialog)
            yokeDialog = factories.yokeDialog(this);
        else
            yokeDialog.reset();
        if (mainWindow)
            mainWindow->UpdateYokeMenu();
        ioManager = std::make_unique<DeviceIOManager>(
            [this](const DeviceIncomingMessage& message) { OnDeviceMessage(message); });
        if (mainWindow)
            ioManager->SetNotifyWindow(mainWindow->Hwnd());
        ioManager->QueueRequest(
            DeviceIoRequest::SetLegacySupport(settings->DeviceMap().legacyProbing));
        if (ioManager->Start())
            devicesRunning.exchange(true);
    } else {
        devicesRunning.exchange(false);
        gLogger->Info("Turning off LEDs");
        TurnOffLeds();
        ClearDevices();
        if (ioManager) {
            ioManager->Stop();
            ioManager.reset();
        }
        yokeDialog.reset();
        settings.reset();
    }
    RefreshTitleAndList();
}

void Plugin::RefreshTitleAndList() {
    if (!mainWindow)
        return;
    mainWindow->SetTitle();
    mainWindow->Refresh(false);
}

uint32_t Plugin::RunMessageLoop() {
    MSG msg = {};
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1)
            return 1;
        // A click leaves the focus on a control of the window; its keys still
        // belong to the window.
        if (IsWindowKey(msg) && mainWindow && IsChild(mainWindow->Hwnd(), msg.hwnd))
            msg.hwnd = mainWindow->Hwnd();
        if (yokeDialog && IsDialogMessageW(yokeDialog->Hwnd(), &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<uint32_t>(msg.wParam);
}

HWND Plugin::MainWindowHandle() const {
    return mainWindow ? mainWindow->Hwnd() : nullptr;
}

void Plugin::ClearDevices() {
    devices.clear();
}

void Plugin::TurnOffLeds() {
    for (const auto& entry : devices)
        ClearDeviceLeds(entry.first);
}

void Plugin::ClearDeviceLeds(const std::string& key) {
    if (ioManager)
        ioManager->QueueRequest(DeviceIoRequest::ClearLeds(key));
}

DeviceRecord* Plugin::FindDevice(const std::string& key) {
    auto found = devices.find(key);
    return found == devices.end() ? nullptr : &found->second;
}
