// Reads and drives the program's windows from the test process, the way a
// person would: texts and places of the controls, clicks, keys at the focus,
// menu commands, the yoke dialog.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace e2e {

struct Control {
    HWND hwnd = nullptr;
    std::wstring className;
    std::string text;
    RECT rect = {}; // relative to the parent's client area
    int id = 0;
};

// One device row of the list, its cells found by their column.
struct Row {
    int top = 0;
    std::string hardware, type, port, version, message, command, leds;
    HWND typeCell = nullptr;
    std::vector<Control> cells;   // every cell of the row, by x
    std::vector<Control> buttons; // the function buttons inside the Device Type cell, by x
};

// The client y of the first row: the height of a menu bar.
int RowTop();

class WindowDriver {
public:
    explicit WindowDriver(HWND main);
    HWND Hwnd() const { return main_; }
    DWORD ThreadId() const;
    DWORD ProcessId() const;

    std::string Title() const;
    SIZE WindowSize() const;
    bool Exists() const { return IsWindow(main_) != FALSE; }
    bool Visible() const { return IsWindowVisible(main_) != FALSE; }
    // The window answers a sent message (its thread runs its loop).
    bool Responsive() const;

    // The direct children; `readable` turns false when one went away while being read.
    std::vector<Control> ChildrenOf(HWND parent, bool* readable = nullptr) const;
    std::vector<Control> Children() const { return ChildrenOf(main_); }
    std::vector<Control> HeaderCells() const;
    // The device list once it has settled: every row in its place with all its cells
    // updated, and two reads in a row showing the same windows, texts and places. The
    // program destroys and builds every row anew when the devices change, so a single
    // read may mix rows of two lists. A list that does not settle within seconds is
    // returned as last read.
    std::vector<Row> Rows() const;
    Control ReloadButton() const;

    // The focus window of the program's user-interface thread (null when none).
    HWND Focus() const;
    // Key down and up at the control that has the focus (the main window when none).
    void PressKey(UINT vk) const;
    // Key down and up at the main window itself, as when it has the focus.
    void PressKeyOnWindow(UINT vk) const;
    void ChooseMenuItem(UINT id) const;
    // Mouse button down and up on the control, at a point inside it.
    void Click(HWND control) const;
    void ClickReload() const { Click(ReloadButton().hwnd); }
    void PostClose() const;
    void PostSysClose() const;

    // The colours on screen at client points of the window (CLR_INVALID for a point
    // that could not be read).
    static std::vector<COLORREF> ScreenPixels(HWND window, const std::vector<POINT>& points);

private:
    std::vector<Row> ReadRows(bool& readable) const;

    HWND main_;
};

// The rows as text, one line per row, for failure messages.
std::string Describe(const std::vector<Row>& rows);
// One cell of every row, top to bottom.
std::vector<std::string> Column(const std::vector<Row>& rows, std::string Row::*cell);
// The labels of a row's function buttons, left to right; of every row, top to bottom.
std::vector<std::string> Labels(const Row& row);
std::vector<std::vector<std::string>> Labels(const std::vector<Row>& rows);

// Waits until the settled list passes the check. `rows` is then the list that passed
// (or, when none did in time, the last one read, which the failure describes).
::testing::AssertionResult WaitForRows(const WindowDriver& window, std::vector<Row>& rows,
                                       const std::function<bool(const std::vector<Row>&)>& accept,
                                       int timeoutMs = 20000);

// Saves the whole screen as <build>/app_tests_screens/<name>.png, for looking at
// a failed test; returns the Linux path, or empty when it could not.
std::string SaveScreenshot(const std::string& name);

// The yoke parameters dialog of the program's process.
class YokeDialog {
public:
    static HWND Find(DWORD pid);
    explicit YokeDialog(HWND dialog) : dialog_(dialog) {}
    HWND Hwnd() const { return dialog_; }
    bool Visible() const { return IsWindowVisible(dialog_) != FALSE; }
    bool Checked(int id) const;
    void Click(int id) const;
    void PostClose() const;

private:
    HWND dialog_;
};

// A message box of the program: the window and its text.
struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::string caption;
    std::string text;
};
MessageBoxInfo FindMessageBox(const std::wstring& caption);
void DismissMessageBox(HWND box);

} // namespace e2e
