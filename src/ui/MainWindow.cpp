#include "ui/MainWindow.h"

#include "ui/ResourceIds.h"
#include "core/DeviceRecord.h"
#include "core/Plugin.h"
#include "device_io/DeviceIOManager.h"
#include "device_io/DeviceMessages.h"
#include "support/Logger.h"
#include "ui/UiText.h"

#include <exception>
#include <string>

namespace {

constexpr wchar_t kClassName[] = L"Brackenfold";
constexpr wchar_t kSimulatorClassName[] = L"AceApp";
constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr char kNoValue[] = "------";
constexpr size_t kElideLimit = 27;

constexpr COLORREF kHeaderBackground = RGB(45, 45, 45);
constexpr COLORREF kHeaderText = RGB(255, 255, 255);
constexpr COLORREF kCellText = RGB(230, 230, 230);
constexpr COLORREF kSelectedButton = RGB(0, 162, 232);
constexpr COLORREF kButton = RGB(255, 255, 255);

constexpr int kHeaderLineY = 18;
constexpr int kReloadX = 835;
constexpr int kReloadWidth = 200;
constexpr int kReloadHeight = 25;

struct HeaderColumn {
    UINT textId; // 0: no text
    int x;
    int width;
};

constexpr HeaderColumn kHeaderColumns[] = {
    {0, 5, 20},
    {IDS_HARDWARE, 25, 160},
    {IDS_DEVICE_TYPE, 185, 100},
    {IDS_PORT, 325, 100},
    {IDS_VERSION, 425, 100},
    {IDS_MESSAGE, 525, 205},
    {IDS_COMMAND, 730, 205},
    {IDS_LEDS, 935, 100},
};

// The string table's text, or an empty text when it has none.
std::wstring LoadText(HINSTANCE instance, UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr)
        return std::wstring();
    return std::wstring(text, static_cast<size_t>(length));
}

std::string WithoutDevicePrefix(std::string port) {
    if (port.compare(0, sizeof(kDevicePrefix) - 1, kDevicePrefix) == 0)
        port.erase(0, sizeof(kDevicePrefix) - 1);
    return port;
}

// The version without its last part: "2.0.1.0" gives "2.0.1".
std::string ShortVersion(const std::string& version) {
    const size_t dot = version.rfind('.');
    return dot == std::string::npos ? version : version.substr(0, dot);
}

} // namespace

MainWindow::MainWindow(Plugin* plugin, HINSTANCE instance, int /*nCmdShow*/, RequestSink sink)
    : plugin_(plugin), instance_(instance), sink_(std::move(sink)) {
    RegisterWindowClass();
    Create(instance);
    rowTop_ = GetSystemMetrics(SM_CYMENU);
}

MainWindow::~MainWindow() {
    Destroy();
}

void MainWindow::RegisterWindowClass() {
    headerBrush_.reset(CreateSolidBrush(kHeaderBackground));
    blackBrush_.reset(CreateSolidBrush(RGB(0, 0, 0)));

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &MainWindow::StaticWindowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_BRACKENFOLD));
    windowClass.hIconSm = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_BRACKENFOLD));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = headerBrush_.get();
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN_MENU);
    windowClass.lpszClassName = kClassName;
    // The class uses this window's brush: it is unregistered again with the window.
    classRegistered_ = RegisterClassExW(&windowClass) != 0;
}

void MainWindow::Create(HINSTANCE instance) {
    instance_ = instance;
    const std::wstring title =
        LocalToWide(std::string(kApplicationName) + " " + kApplicationVersion);
    window_.reset(CreateWindowExW(WS_EX_TOPMOST, kClassName, title.c_str(),
                                  WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, 0,
                                  kWidth, kBaseHeight, nullptr, nullptr, instance_, nullptr));
    if (!window_)
        return;
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    for (size_t i = 0; i < headerCells_.size(); ++i) {
        const HeaderColumn& column = kHeaderColumns[i];
        const std::wstring text =
            column.textId != 0 ? LoadText(instance_, column.textId) : std::wstring();
        headerCells_[i] =
            CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, column.x, rowTop_,
                            column.width, kRowHeight, window_.get(), nullptr, instance_, nullptr);
    }

    const std::wstring reloadText = LoadText(instance_, IDS_RELOAD_COMMAND_MAP);
    reloadButton_ = CreateWindowExW(0, L"BUTTON", reloadText.c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP, kReloadX, 42, kReloadWidth,
                                    kReloadHeight, window_.get(), nullptr, instance_, nullptr);
    EnableWindow(reloadButton_, TRUE);

    ShowWindow(window_.get(), SW_SHOW);
    UpdateWindow(window_.get());
}

void MainWindow::Destroy() {
    rows_.clear();
    if (window_) {
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
        window_.reset();
        reloadButton_ = nullptr;
        headerCells_.fill(nullptr);
    }
    rows_.shrink_to_fit();
    if (classRegistered_) {
        UnregisterClassW(kClassName, instance_);
        classRegistered_ = false;
    }
}

void MainWindow::Show() {
    if (!placed_)
        PlaceBesideSimulator();
    ShowWindow(window_.get(), SW_SHOW);
    BringWindowToTop(window_.get());
    SetForegroundWindow(window_.get());
    placed_ = true;
}

void MainWindow::PlaceBesideSimulator() {
    int x = 5;
    int y = 30;
    HWND simulator = FindWindowW(kSimulatorClassName, nullptr);
    RECT rect{};
    if (simulator != nullptr && GetWindowRect(simulator, &rect)) {
        x = rect.left + 5;
        y = rect.top + 60;
    }
    MoveWindow(window_.get(), x, y, kWidth, height_, TRUE);
}

void MainWindow::PostQuit() {
    PostMessageW(window_.get(), WMU_QUIT, 0, 0);
}

void MainWindow::SetTitle() {
    // Built wide, so an aircraft folder name outside ASCII shows as it is.
    std::wstring title =
        LocalToWide(std::string(kApplicationName) + " " + ShortVersion(kApplicationVersion));
    if (plugin_->settings) {
        const std::wstring folder = plugin_->settings->AircraftFolderName();
        if (!folder.empty())
            title += L" - Aircraft: " + folder;
    }
    SetWindowTextW(window_.get(), title.c_str());
}

void MainWindow::UpdateYokeMenu() {
    HMENU menu = GetMenu(window_.get());
    bool hasYokes = false;
    if (plugin_->yokeDialog) {
        hasYokes = plugin_->yokeDialog->HasYokes();
        gLogger->Trace("Updating Ridgeline Menu Availability: %d", hasYokes ? 1 : 0);
    }
    const UINT yokeState = MF_BYCOMMAND | (hasYokes ? MF_ENABLED : MF_GRAYED);
    EnableMenuItem(menu, IDM_YOKE_SETTINGS, yokeState);
    EnableMenuItem(menu, IDM_YOKE_RECALIBRATE, yokeState);

    if (!plugin_->settings) {
        EnableMenuItem(menu, IDM_LEGACY_SUPPORT, MF_BYCOMMAND | MF_GRAYED);
        return;
    }
    EnableMenuItem(menu, IDM_LEGACY_SUPPORT, MF_BYCOMMAND | MF_ENABLED);
    const bool legacy = plugin_->settings->DeviceMap().legacyProbing;
    CheckMenuItem(menu, IDM_LEGACY_SUPPORT, MF_BYCOMMAND | (legacy ? MF_CHECKED : MF_UNCHECKED));
}

void MainWindow::Refresh(bool force) {
    if (!plugin_->IsRunning()) {
        RebuildRows(0);
        return;
    }

    const auto& devices = plugin_->devices;
    bool recordWithoutRow = false;
    for (const auto& entry : devices) {
        const std::string key = entry.second.Key();
        bool found = false;
        for (const auto& row : rows_) {
            if (row->key == key) {
                found = true;
                break;
            }
        }
        if (!found) {
            recordWithoutRow = true;
            break;
        }
    }

    if (force || recordWithoutRow || rows_.size() != devices.size())
        RebuildRows(static_cast<uint32_t>(devices.size()));

    size_t i = 0;
    for (const auto& entry : devices) {
        if (i >= rows_.size())
            break;
        UpdateRow(*rows_[i++], entry.second);
    }
}

void MainWindow::RebuildRows(uint32_t count) {
    rows_.clear();
    height_ = kBaseHeight;
    int y = rowTop_;
    rows_.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        rows_.push_back(std::make_unique<DeviceRow>(this, y));
        y += kRowHeight;
        height_ += kRowHeight;
    }
    SetWindowPos(window_.get(), HWND_TOPMOST, 0, 0, kWidth, height_, SWP_NOMOVE);
    MoveWindow(reloadButton_, kReloadX, y + 5, kReloadWidth, kReloadHeight, TRUE);
}

void MainWindow::UpdateRow(DeviceRow& row, const DeviceRecord& record) {
    row.key = record.Key();
    row.ShowText(DeviceRow::Hardware, record.Identity());
    row.ShowText(DeviceRow::Port, ElideFront(WithoutDevicePrefix(record.Port()), kElideLimit));
    row.ShowText(DeviceRow::Version, ElideFront(record.Version(), kElideLimit));
    row.ShowText(DeviceRow::Message, ElideFront(record.LastCommand(), kElideLimit));
    row.ShowText(DeviceRow::Command, ElideFront(record.LastAction(), kElideLimit));
    const std::string leds = record.LedState();
    row.ShowText(DeviceRow::Leds, leds.size() >= 2 ? leds.substr(1) : kNoValue);

    if (!row.buttonsFilled)
        row.FillFunctionButtons(this, record);

    const bool unknown = record.ModelNumber() == 17 || record.Id().empty();
    if (row.ShowText(DeviceRow::Type, unknown ? kNoValue : ""))
        RedrawWindow(row.typeCell.window, nullptr, nullptr, RDW_INVALIDATE);
}

LRESULT MainWindow::FunctionButtonProc(WindowSubclass& typeCell, HWND hwnd, UINT message,
                                       WPARAM wParam, LPARAM lParam) {
    // Taken now: a click may change the rows, this one included.
    const WNDPROC previous = typeCell.previous;
    try {
        if (message == WM_CTLCOLORSTATIC) {
            HWND control = reinterpret_cast<HWND>(lParam);
            for (const auto& row : rows_) {
                for (size_t k = 0; k < DeviceRow::kMaxButtons; ++k) {
                    if (row->buttons[k].window == nullptr || row->buttons[k].window != control)
                        continue;
                    HDC dc = reinterpret_cast<HDC>(wParam);
                    SetTextColor(dc, RGB(0, 0, 0));
                    SetBkColor(dc, row->selected[k] ? kSelectedButton : kButton);
                    return reinterpret_cast<LRESULT>(blackBrush_.get());
                }
            }
        } else if (message == WM_LBUTTONUP) {
            ClickFunctionButton(hwnd);
        }
    } catch (const std::exception& e) {
        gLogger->Error("MainWindow: function button message 0x%04x failed: %s", message, e.what());
    }
    if (!IsWindow(hwnd))
        return 0;
    return CallWindowProcW(previous, hwnd, message, wParam, lParam);
}

void MainWindow::ClickFunctionButton(HWND button) {
    std::string key;
    uint32_t code = 0;
    bool found = false;
    for (const auto& row : rows_) {
        for (const WindowSubclass& candidate : row->buttons) {
            if (candidate.window != nullptr && candidate.window == button) {
                key = row->key;
                code = candidate.tag;
                found = true;
            }
        }
    }
    if (!found)
        return;

    plugin_->SetDeviceFunction(key, code);

    // The application may have rebuilt the list meanwhile: the highlight moves
    // only in a row that still holds the clicked button.
    if (!IsWindow(button))
        return;
    for (const auto& row : rows_) {
        bool holdsButton = false;
        for (const WindowSubclass& candidate : row->buttons)
            holdsButton = holdsButton || candidate.window == button;
        if (!holdsButton)
            continue;
        for (size_t j = 0; j < DeviceRow::kMaxButtons; ++j)
            row->selected[j] = row->buttons[j].window == button;
        RedrawWindow(row->typeCell.window, nullptr, nullptr, RDW_INVALIDATE);
    }
}

LRESULT CALLBACK MainWindow::StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->WindowProc(hwnd, message, wParam, lParam);
}

LRESULT MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // No exception may unwind through the system's code that called us.
    try {
        return HandleMessage(hwnd, message, wParam, lParam);
    } catch (const std::exception& e) {
        gLogger->Error("MainWindow: message 0x%04x failed: %s", message, e.what());
        return 0;
    }
}

LRESULT MainWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WMU_SHOW:
        Show();
        return 0;
    case WMU_REFRESH:
        Refresh(false);
        return 0;
    case WMU_QUIT:
        PostQuitMessage(0);
        return 0;
    case WMU_YOKE_SETTINGS:
        ShowYokeDialog();
        return 0;
    case WMU_SIMCONNECT:
        plugin_->DrainSimConnect();
        return 0;
    case WMU_DEVICE_MESSAGE:
        plugin_->PollDevices();
        return 0;
    case WM_COMMAND:
        return OnCommand(hwnd, wParam, lParam);
    case WM_CTLCOLORSTATIC:
        return OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_KEYDOWN:
        OnKeyDown(wParam);
        return 0;
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_CLOSE:
        // The close box never closes or hides the window.
        ShowWindow(hwnd, SW_SHOW);
        return 0;
    case WM_DESTROY:
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT MainWindow::OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (lParam != 0) {
        if (reinterpret_cast<HWND>(lParam) == reloadButton_)
            ReloadCommandMaps();
        return 0;
    }
    switch (LOWORD(wParam)) {
    case IDM_YOKE_SETTINGS:
        ShowYokeDialog();
        return 0;
    case IDM_YOKE_RECALIBRATE:
        plugin_->RecalibrateYokes();
        return 0;
    case IDM_LEGACY_SUPPORT:
        ToggleLegacySupport();
        return 0;
    default:
        return DefWindowProcW(hwnd, WM_COMMAND, wParam, lParam);
    }
}

LRESULT MainWindow::OnColorStatic(HDC dc, HWND control) {
    for (HWND header : headerCells_) {
        if (header != nullptr && header == control) {
            SetTextColor(dc, kHeaderText);
            SetBkColor(dc, kHeaderBackground);
            return reinterpret_cast<LRESULT>(headerBrush_.get());
        }
    }
    SetTextColor(dc, kCellText);
    SetBkColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<LRESULT>(blackBrush_.get());
}

void MainWindow::OnKeyDown(WPARAM key) {
    switch (key) {
    case VK_ESCAPE:
        PostQuitMessage(0);
        break;
    case VK_SPACE:
        Refresh(true);
        break;
    case VK_F1:
        ShowYokeDialog();
        break;
    default:
        break;
    }
}

void MainWindow::OnPaint(HWND hwnd) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(hwnd, &paint);
    UniquePen pen(CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
    HGDIOBJ old = SelectObject(dc, pen.get());
    MoveToEx(dc, 0, kHeaderLineY, nullptr);
    LineTo(dc, kWidth, kHeaderLineY);
    SelectObject(dc, old);
    pen.reset();
    EndPaint(hwnd, &paint);
}

void MainWindow::ReloadCommandMaps() {
    gLogger->Trace("Reloading Command Maps");
    // Nothing to reload or register from while the settings store is missing.
    if (!plugin_->settings)
        return;
    plugin_->settings->ReloadCommandMaps();
    plugin_->ReregisterAllDevices();
}

void MainWindow::ToggleLegacySupport() {
    gLogger->Info("Toggling legacy support");
    if (!plugin_->settings)
        return;
    DeviceMappingConfig& config = plugin_->settings->DeviceMap();
    config.legacyProbing = !config.legacyProbing;
    UpdateYokeMenu();
    plugin_->settings->SaveDeviceMap();
    QueueRequest(DeviceIoRequest::SetLegacySupport(config.legacyProbing));
}

void MainWindow::ShowYokeDialog() {
    if (plugin_->yokeDialog)
        plugin_->yokeDialog->Show();
}

void MainWindow::QueueRequest(const DeviceIoRequest& request) {
    if (sink_)
        sink_(request);
    else if (plugin_->ioManager)
        plugin_->ioManager->QueueRequest(request);
}
