#include "ui/RidgelineYokeDlg.h"

#include "ui/ResourceIds.h"
#include "core/Plugin.h"
#include "device_io/DeviceIOManager.h"
#include "device_io/DeviceMessages.h"
#include "support/Logger.h"

#include <exception>
#include <stdexcept>

namespace {

// The radio button of a state on one axis, or 0 for a state without one.
int RadioOf(uint32_t state, int lowId) {
    return state >= 1 && state <= 3 ? lowId + static_cast<int>(state) - 1 : 0;
}

} // namespace

RidgelineYokeDlg::RidgelineYokeDlg(Plugin* owner, RequestSink sink)
    : owner_(owner), sink_(std::move(sink)) {
    dialog_.reset(CreateDialogParamW(GetModuleHandleW(nullptr),
                                     MAKEINTRESOURCEW(IDD_RIDGELINE_YOKE),
                                     owner_->MainWindowHandle(), &StaticDialogProc, 0));
    if (!dialog_)
        throw std::runtime_error("Unable to create dialog for Ridgeline Yoke configuration");
    SetWindowLongPtrW(dialog_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

RidgelineYokeDlg::~RidgelineYokeDlg() {
    // No message of the closing dialog reaches this object any more.
    if (dialog_)
        SetWindowLongPtrW(dialog_.get(), GWLP_USERDATA, 0);
    dialog_.reset();
}

INT_PTR CALLBACK RidgelineYokeDlg::StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    auto* self = reinterpret_cast<RidgelineYokeDlg*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr)
        return FALSE;
    return self->DialogProc(hwnd, message, wParam, lParam);
}

INT_PTR RidgelineYokeDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // No exception may unwind through the system's dialog code.
    try {
        return HandleMessage(hwnd, message, wParam, lParam);
    } catch (const std::exception& e) {
        gLogger->Error("RidgelineYokeDlg: message 0x%04x failed: %s", message, e.what());
        return TRUE;
    }
}

INT_PTR RidgelineYokeDlg::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_CLOSE:
        // The user only ever hides the dialog.
        ShowWindow(hwnd, SW_HIDE);
        return TRUE;
    case WM_COMMAND:
        // A click on a preset has notification code 0: the whole wParam is the id.
        if (wParam >= IDC_ROLL_LOW && wParam <= IDC_PITCH_HIGH)
            OnButton(static_cast<UINT>(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

void RidgelineYokeDlg::OnButton(UINT id) {
    gLogger->Trace("RidgelineYokeDlg: button pressed...");
    gLogger->Debug("RidgelineYokeDlg: previous rollstate: %u", rollState_);
    gLogger->Debug("RidgelineYokeDlg: previous pitchstate: %u", pitchState_);
    if (id <= IDC_ROLL_HIGH)
        SetRollState(id - IDC_ROLL_LOW + 1, false, false);
    else
        SetPitchState(id - IDC_PITCH_LOW + 1, false, false);
    gLogger->Trace("RidgelineYokeDlg: rollstate: %u", rollState_);
    gLogger->Trace("RidgelineYokeDlg: pitchstate: %u", pitchState_);
}

void RidgelineYokeDlg::SetRollState(uint32_t state, bool refreshRadios, bool noSave) {
    rollState_ = state;
    if (refreshRadios)
        RefreshRadios();
    if (!noSave && owner_->settings) {
        owner_->settings->DeviceMap().rollState = state;
        owner_->settings->SaveDeviceMap();
    }
    PushForces();
}

void RidgelineYokeDlg::SetPitchState(uint32_t state, bool refreshRadios, bool noSave) {
    pitchState_ = state;
    if (refreshRadios)
        RefreshRadios();
    if (!noSave && owner_->settings) {
        owner_->settings->DeviceMap().pitchState = state;
        owner_->settings->SaveDeviceMap();
    }
    PushForces();
}

void RidgelineYokeDlg::PushForces() {
    for (const std::string& deviceId : yokes_)
        PushForcesTo(deviceId);
}

void RidgelineYokeDlg::PushForcesTo(std::string deviceId) {
    QueueRequest(DeviceIoRequest::SetValue(deviceId, "A", static_cast<float>(rollState_)));
    QueueRequest(DeviceIoRequest::SetValue(deviceId, "B", static_cast<float>(pitchState_)));
}

void RidgelineYokeDlg::LoadStates() {
    if (owner_->settings) {
        rollState_ = owner_->settings->DeviceMap().rollState;
        pitchState_ = owner_->settings->DeviceMap().pitchState;
    }
    RefreshRadios();
}

void RidgelineYokeDlg::RefreshRadios() {
    // Only the button of the state is set; a state without one sets nothing.
    if (const int roll = RadioOf(rollState_, IDC_ROLL_LOW))
        CheckDlgButton(dialog_.get(), roll, BST_CHECKED);
    if (const int pitch = RadioOf(pitchState_, IDC_PITCH_LOW))
        CheckDlgButton(dialog_.get(), pitch, BST_CHECKED);
}

void RidgelineYokeDlg::Show() {
    LoadStates();
    ShowWindow(dialog_.get(), SW_SHOW);
}

bool RidgelineYokeDlg::AddYoke(const std::string& deviceId) {
    if (yokes_.empty())
        LoadStates();
    if (yokes_.count(deviceId) != 0) {
        owner_->RefreshWindow();
        return true;
    }
    yokes_.insert(deviceId);
    PushForcesTo(deviceId);
    owner_->RefreshWindow();
    return true;
}

void RidgelineYokeDlg::RemoveYoke(const std::string& deviceId) {
    if (yokes_.erase(deviceId) != 0 && yokes_.empty())
        owner_->RefreshWindow();
}

void RidgelineYokeDlg::QueueRequest(const DeviceIoRequest& request) {
    if (sink_)
        sink_(request);
    else if (owner_->ioManager)
        owner_->ioManager->QueueRequest(request);
}
