#pragma once

// What the application asks of its windows. The windows themselves live in ui/,
// above the application; program entry hands the application the factories that
// build them.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

class Plugin;

// The device-list main window.
class IMainWindow {
public:
    virtual ~IMainWindow() = default;

    virtual HWND Hwnd() const = 0;
    virtual void Show() = 0;
    // Posts WM_APP+3, on which the window ends the message loop with code 0.
    virtual void PostQuit() = 0;
    virtual void SetTitle() = 0;
    virtual void UpdateYokeMenu() = 0;
    virtual void Refresh(bool force) = 0;
    virtual void Destroy() = 0;
};

// The yoke's force presets, and the list of connected yokes.
class IYokeDialog {
public:
    virtual ~IYokeDialog() = default;

    virtual HWND Hwnd() const = 0;
    virtual void Show() = 0;
    virtual bool HasYokes() const = 0;
    virtual bool AddYoke(const std::string& deviceId) = 0;
    virtual void RemoveYoke(const std::string& deviceId) = 0;
};

struct WindowFactories {
    // Builds (and shows) the main window; may be empty (no window).
    std::function<std::unique_ptr<IMainWindow>(Plugin*, HINSTANCE, int)> mainWindow;
    // Builds the hidden yoke dialog; may throw std::runtime_error. May be empty.
    std::function<std::unique_ptr<IYokeDialog>(Plugin*)> yokeDialog;
};
