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

std::vector<Control> WindowDriver::ChildrenOf(HWND parent) const {
    ChildSearch search{parent, {}};
    EnumChildWindows(parent, CollectDirectChild, reinterpret_cast<LPARAM>(&search));
    std::vector<Control> controls;
    for (HWND child : search.found) {
        Control control;
        control.hwnd = child;
        control.className = ClassOf(child);
        control.text = TextOf(child);
        control.id = GetDlgCtrlID(child);
        GetWindowRect(child, &control.rect);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&control.rect), 2);
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

std::vector<Row> WindowDriver::Rows() const {
    std::vector<Row> rows;
    for (const Control& control : Children()) {
        if (control.rect.top <= 0 || _wcsicmp(control.className.c_str(), L"Static") != 0)
            continue;
        if (rows.empty() || rows.back().top != control.rect.top) {
            rows.emplace_back();
            rows.back().top = control.rect.top;
        }
        Row& row = rows.back();
        switch (control.rect.left) {
        case 25:
            row.hardware = control.text;
            break;
        case 185:
            row.type = control.text;
            row.typeCell = control.hwnd;
            row.buttons = ChildrenOf(control.hwnd);
            break;
        case 325:
            row.port = control.text;
            break;
        case 425:
            row.version = control.text;
            break;
        case 525:
            row.message = control.text;
            break;
        case 730:
            row.command = control.text;
            break;
        case 935:
            row.leds = control.text;
            break;
        default:
            break;
        }
    }
    return rows;
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
