#include "UiTestSupport.h"

#include "support/Logger.h"

#include <filesystem>
#include <fstream>
#include <iterator>

void UiTest::SetUp() {
    gLogger = MakeLogger();
    log = std::make_shared<RecordingTarget>();
    gLogger->AddTarget("test", log);
    gLogger->SetTargetLevel("test", BKFLog::LevelTrace);

    WindowFactories factories;
    factories.mainWindow = [this](Plugin* plugin, HINSTANCE instance,
                                  int show) -> std::unique_ptr<IMainWindow> {
        return std::make_unique<MainWindow>(
            plugin, instance, show,
            [this](const DeviceIoRequest& request) { requests.push_back(request); });
    };
    gPlugin = std::make_unique<Plugin>(GetModuleHandleW(nullptr), SW_SHOW, factories);
    ASSERT_NE(MainHwnd(), nullptr);
    ASSERT_NE(gPlugin->settings, nullptr);
    deviceMapPath = gPlugin->settings->DeviceMapPath();
    DeleteFileW(deviceMapPath.c_str());
}

void UiTest::TearDown() {
    gPlugin.reset();
    DeleteFileW(deviceMapPath.c_str());
    gLogger.reset();
}

MainWindow& UiTest::Window() const {
    return static_cast<MainWindow&>(*gPlugin->mainWindow);
}

RidgelineYokeDlg& UiTest::MakeYokeDialog() {
    auto dialog = std::make_unique<RidgelineYokeDlg>(
        gPlugin.get(), [this](const DeviceIoRequest& request) { requests.push_back(request); });
    RidgelineYokeDlg& result = *dialog;
    gPlugin->yokeDialog = std::move(dialog);
    return result;
}

std::string UiTest::AddDevice(const std::string& identity, uint32_t number, const std::string& port,
                              const std::string& id, const std::string& version) {
    DeviceRecord record(identity, number, port, id, version);
    const std::string key = record.Key();
    gPlugin->devices.emplace(key, std::move(record));
    gPlugin->devicesRunning = true;
    return key;
}

bool UiTest::Logged(int level, const std::string& part) const {
    for (const auto& line : log->Lines())
        if (line.level == level && line.text.find(part) != std::string::npos)
            return true;
    return false;
}

std::string UiTest::ReadDeviceMap() const {
    std::ifstream in(std::filesystem::path(deviceMapPath), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring TextOf(HWND window) {
    wchar_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return buffer;
}

RECT RectInParent(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int OuterHeight(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}
