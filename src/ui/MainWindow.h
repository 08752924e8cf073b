#pragma once

// The program's device-list window: a header, one row per connected device, the
// "Reload Command Map" button and the "&Options" menu. Its window procedure is
// also where the private messages WM_APP+1 to WM_APP+6 reach the application.

#include "core/AppWindows.h"
#include "support/Win32Handles.h"
#include "support/WindowSubclass.h"
#include "ui/DeviceRow.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class DeviceRecord;
class Plugin;
struct DeviceIoRequest;

constexpr UINT WMU_SHOW = WM_APP + 1;
constexpr UINT WMU_REFRESH = WM_APP + 2;
constexpr UINT WMU_QUIT = WM_APP + 3;
constexpr UINT WMU_YOKE_SETTINGS = WM_APP + 4;

class MainWindow : public IMainWindow {
public:
    // Where I/O requests go; by default the application's I/O manager, if any.
    using RequestSink = std::function<void(const DeviceIoRequest&)>;

    static constexpr int kWidth = 1060;
    static constexpr int kBaseHeight = 120;
    static constexpr int kRowHeight = 16;

    // Registers the window class, creates the window and shows it.
    MainWindow(Plugin* plugin, HINSTANCE instance, int nCmdShow, RequestSink sink = {});
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND Hwnd() const override { return window_.get(); }
    void Show() override;
    void PostQuit() override;
    void SetTitle() override;
    void UpdateYokeMenu() override;
    void Refresh(bool force) override;
    // Safe to call more than once.
    void Destroy() override;

    void RebuildRows(uint32_t count);
    void UpdateRow(DeviceRow& row, const DeviceRecord& record);
    void PlaceBesideSimulator();
    // The procedure of every Device Type cell and function button.
    LRESULT FunctionButtonProc(WindowSubclass& typeCell, HWND hwnd, UINT message, WPARAM wParam,
                               LPARAM lParam);

    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE Instance() const { return instance_; }
    int RowTop() const { return rowTop_; }
    int Height() const { return height_; }
    HWND ReloadButton() const { return reloadButton_; }
    HBRUSH BlackBrush() const { return blackBrush_.get(); }
    size_t RowCount() const { return rows_.size(); }
    const DeviceRow& Row(size_t index) const { return *rows_[index]; }

private:
    void RegisterWindowClass();
    void Create(HINSTANCE instance);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam);
    LRESULT OnColorStatic(HDC dc, HWND control);
    void OnKeyDown(WPARAM key);
    void OnPaint(HWND hwnd);
    void ReloadCommandMaps();
    void ToggleLegacySupport();
    void ShowYokeDialog();
    void ClickFunctionButton(HWND button);
    void QueueRequest(const DeviceIoRequest& request);

    Plugin* plugin_;
    HINSTANCE instance_ = nullptr;
    UniqueWindow window_;
    HWND reloadButton_ = nullptr;
    std::array<HWND, 8> headerCells_{};
    // Each row on the heap: its controls point at it, so it must never move.
    std::vector<std::unique_ptr<DeviceRow>> rows_;
    UniqueBrush headerBrush_;
    UniqueBrush blackBrush_;
    int height_ = kBaseHeight;
    bool placed_ = false;
    int rowTop_ = 0;
    RequestSink sink_;
    bool classRegistered_ = false;
};
