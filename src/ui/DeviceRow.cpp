#include "ui/DeviceRow.h"

#include "core/DeviceRecord.h"
#include "ui/MainWindow.h"
#include "ui/UiText.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int kCellHeight = 16;
constexpr int kButtonSpacing = 50;
constexpr int kButtonWidth = 40;

UniqueWindow CreateCell(MainWindow* window, const wchar_t* text, DWORD style, int x, int width,
                        int y) {
    return UniqueWindow(CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | style, x, y,
                                        width, kCellHeight, window->Hwnd(), nullptr,
                                        window->Instance(), nullptr));
}

} // namespace

std::string FunctionButtonLabel(int code) {
    switch (code) {
    case 1:
        return "COM1";
    case 2:
        return "COM2";
    case 3:
        return "PFD1";
    default:
        return FunctionName(code);
    }
}

DeviceRow::DeviceRow(MainWindow* window, int y) {
    blankCell = CreateCell(window, L"", 0, 5, 20, y);
    hardwareCell = CreateCell(window, L"Hardware", 0, 25, 160, y);
    typeWindow_ = CreateCell(window, L"Device Type", SS_NOTIFY, 185, 140, y);
    if (typeWindow_) {
        typeCell.handler = [this, window](HWND hwnd, UINT message, WPARAM wParam,
                                          LPARAM lParam) -> LRESULT {
            return window->FunctionButtonProc(typeCell, hwnd, message, wParam, lParam);
        };
        typeCell.Attach(typeWindow_.get());
    }
    portCell = CreateCell(window, L"Port", 0, 325, 100, y);
    versionCell = CreateCell(window, L"Version", 0, 425, 100, y);
    messageCell = CreateCell(window, L"Message", 0, 525, 205, y);
    commandCell = CreateCell(window, L"Command", 0, 730, 205, y);
    ledCell = CreateCell(window, L"LEDs", 0, 935, 100, y);
}

DeviceRow::~DeviceRow() {
    for (WindowSubclass& button : buttons)
        button.Detach();
    typeCell.Detach();
    for (UniqueWindow& button : buttonWindows_)
        button.reset();
    typeWindow_.reset();
}

void DeviceRow::FillFunctionButtons(MainWindow* window, const DeviceRecord& record) {
    const std::set<int> allowed = record.AllowedFunctions();
    const std::vector<int> functions(allowed.begin(), allowed.end());
    const size_t count = std::min(functions.size(), kMaxButtons);

    for (size_t k = 0; k < count; ++k) {
        if (buttons[k].window != nullptr || !typeWindow_)
            continue;
        HWND button =
            CreateWindowExW(0, L"STATIC", L"But", WS_CHILD | WS_VISIBLE | SS_NOTIFY | SS_CENTER,
                            kButtonSpacing * static_cast<int>(k), 0, kButtonWidth, kCellHeight,
                            typeWindow_.get(), nullptr, window->Instance(), nullptr);
        if (button == nullptr)
            continue;
        buttonWindows_[k].reset(button);
        buttons[k].handler = [this, window](HWND hwnd, UINT message, WPARAM wParam,
                                            LPARAM lParam) -> LRESULT {
            return window->FunctionButtonProc(typeCell, hwnd, message, wParam, lParam);
        };
        buttons[k].Attach(button);
        selected[k] = false;
        EnableWindow(button, TRUE);
    }

    for (size_t k = 0; k < count; ++k) {
        const int code = functions[k];
        if (buttons[k].window != nullptr)
            SetWindowTextLocal(buttons[k].window, FunctionButtonLabel(code));
        buttons[k].tag = static_cast<uint32_t>(code);
        selected[k] = record.Function() == code;
    }

    if (typeWindow_)
        RedrawWindow(typeWindow_.get(), nullptr, nullptr, RDW_INVALIDATE);
    buttonsFilled = true;
}

HWND DeviceRow::CellWindow(Cell cell) const {
    switch (cell) {
    case Hardware:
        return hardwareCell.get();
    case Port:
        return portCell.get();
    case Version:
        return versionCell.get();
    case Message:
        return messageCell.get();
    case Command:
        return commandCell.get();
    case Leds:
        return ledCell.get();
    case Type:
        return typeCell.window;
    default:
        return nullptr;
    }
}

bool DeviceRow::ShowText(Cell cell, const std::string& text) {
    std::optional<std::string>& shown = shown_[cell];
    if (shown && *shown == text)
        return false;
    SetWindowTextLocal(CellWindow(cell), text);
    shown = text;
    return true;
}
