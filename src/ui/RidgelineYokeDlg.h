#pragma once

// The yoke's roll and pitch force presets (1 Low, 2 Med, 3 High) in a modeless
// dialog, and the list of connected yokes that get them.

#include "core/AppWindows.h"
#include "support/Win32Handles.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>

class Plugin;
struct DeviceIoRequest;

class RidgelineYokeDlg : public IYokeDialog {
public:
    // Where I/O requests go; by default the application's I/O manager, if any.
    using RequestSink = std::function<void(const DeviceIoRequest&)>;

    // Creates the hidden dialog, owned by the application's main window. Throws
    // std::runtime_error when the dialog cannot be created.
    explicit RidgelineYokeDlg(Plugin* owner, RequestSink sink = {});
    ~RidgelineYokeDlg() override;
    RidgelineYokeDlg(const RidgelineYokeDlg&) = delete;
    RidgelineYokeDlg& operator=(const RidgelineYokeDlg&) = delete;

    HWND Hwnd() const override { return dialog_.get(); }
    void Show() override;
    bool HasYokes() const override { return !yokes_.empty(); }
    bool AddYoke(const std::string& deviceId) override;
    void RemoveYoke(const std::string& deviceId) override;

    // Stores the state (unless noSave) and pushes both presets to every yoke.
    void SetRollState(uint32_t state, bool refreshRadios, bool noSave);
    void SetPitchState(uint32_t state, bool refreshRadios, bool noSave);
    uint32_t RollState() const { return rollState_; }
    uint32_t PitchState() const { return pitchState_; }

    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnButton(UINT id);
    void PushForces();
    void PushForcesTo(std::string deviceId);
    void LoadStates();
    void RefreshRadios();
    void QueueRequest(const DeviceIoRequest& request);

    Plugin* owner_;
    std::set<std::string> yokes_;
    uint32_t rollState_ = 2;
    uint32_t pitchState_ = 2;
    UniqueWindow dialog_;
    RequestSink sink_;
};
