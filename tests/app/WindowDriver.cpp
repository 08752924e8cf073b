#include "app/WindowDriver.h"

#include "app/AppHarness.h"

#include <algorithm>
#include <cstdlib>

namespace e2e {

namespace {

std::string TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return Narrow(text);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return name;
}

struct ChildSearch {
    HWND parent;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDirectChild(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ChildSearch*>(context);
    if (GetParent(window) == search->parent)
        search->found.push_back(window);
    return TRUE;
}

LPARAM KeyData(UINT vk, bool up) {
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    LPARAM data = 1 | (LPARAM(scan) << 16);
    if (up)
        data |= LPARAM(0xC0000000u);
    return data;
}

} // namespace

int RowTop() {
    return GetSystemMetrics(SM_CYMENU);
}

WindowDriver::WindowDriver(HWND main) : main_(main) {}

DWORD WindowDriver::ThreadId() const {
    return GetWindowThreadProcessId(main_, nullptr);
}

DWORD WindowDriver::ProcessId() const {
    DWORD pid = 0;
    GetWindowThreadProcessId(main_, &pid);
    return pid;
}

std::string WindowDriver::Title() const {
    return TextOf(main_);
}

SIZE WindowDriver::WindowSize() const {
    RECT rect = {};
    GetWindowRect(main_, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

bool WindowDriver::Responsive() const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

std::vector<Control> WindowDriver::ChildrenOf(HWND parent, bool* readable) const {
    ChildSearch search{parent, {}};
    EnumChildWindows(parent, CollectDirectChild, reinterpret_cast<LPARAM>(&search));
    std::vector<Control> controls;
    for (HWND child : search.found) {
        Control control;
        control.hwnd = child;
        control.className = ClassOf(child);
        control.text = TextOf(child);
        control.id = GetDlgCtrlID(child);
        bool placed = GetWindowRect(child, &control.rect) != FALSE;
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&control.rect), 2);
        // A window destroyed while it was read gives an empty text and no place.
        if (readable && (!placed || !IsWindow(child)))
            *readable = false;
        controls.push_back(control);
    }
    std::sort(controls.begin(), controls.end(), [](const Control& a, const Control& b) {
        return a.rect.top != b.rect.top ? a.rect.top < b.rect.top : a.rect.left < b.rect.left;
    });
    return controls;
}

std::vector<Control> WindowDriver::HeaderCells() const {
    std::vector<Control> header;
    for (const Control& control : Children())
        if (control.rect.top == 0 && _wcsicmp(control.className.c_str(), L"Static") == 0)
            header.push_back(control);
    return header;
}

namespace {

// The cells of a device row: where each stands and the text it shows from its
// creation until the row's first update (the blank cell never changes).
struct CellColumn {
    int x;
    std::string Row::*text;
    const char* placeholder;
};
const CellColumn kColumns[] = {
    {5, nullptr, nullptr},
    {25, &Row::hardware, "Hardware"},
    {185, &Row::type, "Device Type"},
    {325, &Row::port, "Port"},
    {425, &Row::version, "Version"},
    {525, &Row::message, "Message"},
    {730, &Row::command, "Command"},
    {935, &Row::leds, "LEDs"},
};
const size_t kCellCount = sizeof kColumns / sizeof kColumns[0];
// A function button's text from its creation until it is labelled.
const char kUnlabelledButton[] = "But";
const int kRowHeight = 16;
const DWORD kSettleTimeoutMs = 10000;
const DWORD kSettlePollMs = 20;

bool SameControl(const Control& a, const Control& b) {
    return a.hwnd == b.hwnd && a.className == b.className && a.text == b.text &&
           EqualRect(&a.rect, &b.rect) != FALSE;
}

bool SameControls(const std::vector<Control>& a, const std::vector<Control>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), SameControl);
}

bool SameRows(const std::vector<Row>& a, const std::vector<Row>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Row& x, const Row& y) {
        return SameControls(x.cells, y.cells) && SameControls(x.buttons, y.buttons);
    });
}

// Every row stands in its place and has all its cells, each updated at least once.
bool Whole(const std::vector<Row>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        if (row.top != RowTop() + kRowHeight * int(i) || row.cells.size() != kCellCount)
            return false;
        for (size_t k = 0; k < kCellCount; ++k) {
            if (row.cells[k].rect.left != kColumns[k].x)
                return false;
            if (kColumns[k].placeholder && row.cells[k].text == kColumns[k].placeholder)
                return false;
        }
        for (const Control& button : row.buttons)
            if (button.text == kUnlabelledButton)
                return false;
    }
    return true;
}

} // namespace

std::vector<Row> WindowDriver::ReadRows(bool& readable) const {
    std::vector<Row> rows;
    for (const Control& control : ChildrenOf(main_, &readable)) {
        if (control.rect.top <= 0 || _wcsicmp(control.className.c_str(), L"Static") != 0)
            continue;
        if (rows.empty() || rows.back().top != control.rect.top) {
            rows.emplace_back();
            rows.back().top = control.rect.top;
        }
        Row& row = rows.back();
        row.cells.push_back(control);
        for (const CellColumn& column : kColumns) {
            if (column.x != control.rect.left || !column.text)
                continue;
            row.*column.text = control.text;
            if (column.text == &Row::type) {
                row.typeCell = control.hwnd;
                row.buttons = ChildrenOf(control.hwnd, &readable);
            }
        }
    }
    return rows;
}

std::vector<Row> WindowDriver::Rows() const {
    const DWORD start = GetTickCount();
    std::vector<Row> previous;
    bool previousWhole = false;
    for (;;) {
        bool readable = true;
        std::vector<Row> rows = ReadRows(readable);
        const bool whole = readable && Whole(rows);
        if (whole && previousWhole && SameRows(previous, rows))
            return rows;
        if (GetTickCount() - start >= kSettleTimeoutMs)
            return rows;
        previous = std::move(rows);
        previousWhole = whole;
        Sleep(kSettlePollMs);
    }
}

std::string Describe(const std::vector<Row>& rows) {
    if (rows.empty())
        return "(no rows)";
    std::string text;
    for (const Row& row : rows) {
        text += "\n  top " + std::to_string(row.top) + ":";
        for (const CellColumn& column : kColumns)
            if (column.text)
                text += " " + std::string(column.placeholder) + "=\"" + row.*column.text + "\"";
        text += " buttons=[";
        for (size_t k = 0; k < row.buttons.size(); ++k)
            text += (k ? "," : "") + row.buttons[k].text;
        text += "] cells=" + std::to_string(row.cells.size());
    }
    return text;
}

std::vector<std::string> Column(const std::vector<Row>& rows, std::string Row::*cell) {
    std::vector<std::string> texts;
    for (const Row& row : rows)
        texts.push_back(row.*cell);
    return texts;
}

std::vector<std::string> Labels(const Row& row) {
    std::vector<std::string> labels;
    for (const Control& button : row.buttons)
        labels.push_back(button.text);
    return labels;
}

std::vector<std::vector<std::string>> Labels(const std::vector<Row>& rows) {
    std::vector<std::vector<std::string>> labels;
    for (const Row& row : rows)
        labels.push_back(Labels(row));
    return labels;
}

::testing::AssertionResult WaitForRows(const WindowDriver& window, std::vector<Row>& rows,
                                       const std::function<bool(const std::vector<Row>&)>& accept,
                                       int timeoutMs) {
    if (WaitUntil(
            [&] {
                rows = window.Rows();
                return accept(rows);
            },
            timeoutMs))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the device list never showed what was expected; "
                                            "last read:"
                                         << Describe(rows);
}

Control WindowDriver::ReloadButton() const {
    for (const Control& control : Children())
        if (_wcsicmp(control.className.c_str(), L"Button") == 0)
            return control;
    return {};
}

HWND WindowDriver::Focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(ThreadId(), &info))
        return nullptr;
    return info.hwndFocus;
}

void WindowDriver::PressKey(UINT vk) const {
    HWND target = Focus();
    if (!target)
        target = main_;
    PostMessageW(target, WM_KEYDOWN, vk, KeyData(vk, false));
    PostMessageW(target, WM_KEYUP, vk, KeyData(vk, true));
}

void WindowDriver::PressKeyOnWindow(UINT vk) const {
    PostMessageW(main_, WM_KEYDOWN, vk, KeyData(vk, false));
    PostMessageW(main_, WM_KEYUP, vk, KeyData(vk, true));
}

void WindowDriver::ChooseMenuItem(UINT id) const {
    PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void WindowDriver::Click(HWND control) const {
    RECT rect = {};
    GetClientRect(control, &rect);
    LPARAM point = MAKELPARAM(rect.right / 2, rect.bottom / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(control, WM_LBUTTONUP, 0, point);
}

void WindowDriver::PostClose() const {
    PostMessageW(main_, WM_CLOSE, 0, 0);
}

void WindowDriver::PostSysClose() const {
    PostMessageW(main_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

namespace {

std::wstring LinuxToWindowsPath(const std::string& path) {
    std::wstring windows = L"Z:" + Wide(path);
    for (wchar_t& c : windows)
        if (c == L'/')
            c = L'\\';
    return windows;
}

// Runs screen_pixels.py with the arguments and returns once `out` (a Linux
// path) has been written, or after a time-out.
bool RunScreenScript(const std::string& arguments, const std::string& out) {
    const char* source = std::getenv("BKF_SOURCE_DIR");
    const char* python = std::getenv("BKF_PYTHON");
    if (!source)
        return false;
    std::wstring command = LinuxToWindowsPath(python ? python : "/usr/bin/python3") + L" \"" +
                           Wide(std::string(source)) + L"/tests/app/screen_pixels.py\" " +
                           Wide(arguments);
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // Wine runs a Linux program handed to CreateProcess as a Linux process.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return WaitUntil([&] { return FileExists(LinuxToWindowsPath(out)); }, 30000);
}

} // namespace

std::vector<COLORREF> WindowDriver::ScreenPixels(HWND window, const std::vector<POINT>& points) {
    // Wine reads back only what its own process drew, so the X display is asked.
    std::vector<COLORREF> colours(points.size(), CLR_INVALID);
    static int counter = 0;
    std::string out = "/tmp/bkf_e2e_pixel_" + std::to_string(GetCurrentProcessId()) + "_" +
                      std::to_string(++counter) + ".txt";
    std::string arguments = "\"" + out + "\"";
    for (POINT point : points) {
        ClientToScreen(window, &point);
        arguments += " " + std::to_string(point.x) + " " + std::to_string(point.y);
    }
    if (!RunScreenScript(arguments, out))
        return colours;
    std::vector<std::string> lines =
        SplitLines(standin_test::ReadFileText(LinuxToWindowsPath(out)));
    DeleteFileW(LinuxToWindowsPath(out).c_str());
    for (size_t i = 0; i < lines.size() && i < colours.size(); ++i) {
        if (lines[i].size() < 6 || lines[i].compare(0, 4, "none") == 0)
            continue;
        unsigned long rgb = std::strtoul(lines[i].substr(0, 6).c_str(), nullptr, 16);
        colours[i] = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    }
    return colours;
}

std::string SaveScreenshot(const std::string& name) {
    const char* binary = std::getenv("BKF_BINARY_DIR");
    if (!binary)
        return "";
    std::string folder = std::string(binary) + "/app_tests_screens";
    CreateDirectoryW(LinuxToWindowsPath(folder).c_str(), nullptr);
    std::string path = folder + "/" + name + ".png";
    DeleteFileW(LinuxToWindowsPath(path).c_str());
    return RunScreenScript("--png \"" + path + "\"", path) ? path : "";
}

// --- the yoke dialog ---------------------------------------------------------------

namespace {

struct DialogSearch {
    DWORD pid;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<DialogSearch*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if ((search->pid && pid != search->pid) || ClassOf(window) != L"#32770")
        return TRUE;
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    if (wcscmp(title, search->title) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

HWND YokeDialog::Find(DWORD pid) {
    DialogSearch search{pid, L"Ridgeline Yoke Parameters", nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool YokeDialog::Checked(int id) const {
    DWORD_PTR state = 0;
    SendMessageTimeoutW(GetDlgItem(dialog_, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    return state == BST_CHECKED;
}

void YokeDialog::Click(int id) const {
    HWND button = GetDlgItem(dialog_, id);
    RECT rect = {};
    GetClientRect(button, &rect);
    LPARAM point = MAKELPARAM(rect.right / 2, rect.bottom / 2);
    PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(button, WM_LBUTTONUP, 0, point);
}

void YokeDialog::PostClose() const {
    PostMessageW(dialog_, WM_CLOSE, 0, 0);
}

// --- message boxes -----------------------------------------------------------------

namespace {

BOOL CALLBACK CollectStaticText(HWND window, LPARAM context) {
    if (_wcsicmp(ClassOf(window).c_str(), L"Static") == 0) {
        std::string text = TextOf(window);
        if (!text.empty()) {
            auto* out = reinterpret_cast<std::string*>(context);
            if (!out->empty())
                *out += "\n";
            *out += text;
        }
    }
    return TRUE;
}

} // namespace

MessageBoxInfo FindMessageBox(const std::wstring& caption) {
    MessageBoxInfo info;
    DialogSearch search{0, caption.c_str(), nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return info;
    info.hwnd = search.found;
    info.caption = Narrow(caption);
    EnumChildWindows(search.found, CollectStaticText, reinterpret_cast<LPARAM>(&info.text));
    return info;
}

void DismissMessageBox(HWND box) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

} // namespace e2e
