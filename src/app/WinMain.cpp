// Program entry: refuses an elevated start, then builds the application with its
// windows, starts it and runs its message loop.

#include "core/Plugin.h"
#include "support/LogTargets.h"
#include "support/Logger.h"
#include "support/SystemInfo.h"
#include "ui/MainWindow.h"
#include "ui/RidgelineYokeDlg.h"

#include <windows.h>

#include <exception>
#include <memory>

namespace {

constexpr wchar_t kCaption[] = L"Brackenfold Device Interface";
constexpr wchar_t kElevatedText[] =
    L"You have started Device Interface with Administrator privileges.\n\n"
    L"Please relaunch Device Interface without Administrator privileges.";

WindowFactories MakeWindowFactories() {
    WindowFactories factories;
    factories.mainWindow = [](Plugin* plugin, HINSTANCE instance,
                              int nCmdShow) -> std::unique_ptr<IMainWindow> {
        return std::make_unique<MainWindow>(plugin, instance, nCmdShow);
    };
    factories.yokeDialog = [](Plugin* plugin) -> std::unique_ptr<IYokeDialog> {
        return std::make_unique<RidgelineYokeDlg>(plugin);
    };
    return factories;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int nCmdShow) {
    // IsElevated gives 0 for an elevated token; a token it cannot read does not refuse.
    if (IsVistaOrLater() && IsElevated() == 0) {
        MessageBoxExW(nullptr, kElevatedText, kCaption, MB_ICONERROR, 0);
        return 1;
    }

    gLogger = MakeLogger();
    gLogger->AddTarget("debug", std::make_shared<BKFLog::Win32DebugLog>());
    gLogger->SetLevel(BKFLog::LevelInfo);
    gLogger->Trace("Creating plugin");

    gPlugin = std::make_unique<Plugin>(instance, nCmdShow, MakeWindowFactories());
    try {
        gPlugin->Start();
        gPlugin->EnableDevices(true);
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), kApplicationName, MB_ICONERROR);
        PostQuitMessage(1);
    }

    const uint32_t code = gPlugin->RunMessageLoop();
    gPlugin.reset();
    gLogger.reset();
    return static_cast<int>(code);
}
