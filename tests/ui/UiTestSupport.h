#pragma once

// An application object with the real main window and yoke dialog, not started:
// the tests fill its device table and send the windows their messages directly.

#include "common/RecordingTarget.h"
#include "core/Plugin.h"
#include "device_io/DeviceMessages.h"
#include "ui/MainWindow.h"
#include "ui/RidgelineYokeDlg.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    MainWindow& Window() const;
    HWND MainHwnd() const { return Window().Hwnd(); }
    // Builds the yoke dialog as enabling the devices would, without starting I/O.
    RidgelineYokeDlg& MakeYokeDialog();

    // Adds a device record, marks the devices as running and returns its key.
    std::string AddDevice(const std::string& identity, uint32_t number, const std::string& port,
                          const std::string& id = "1A2B", const std::string& version = "1.0");
    DeviceRecord& Record(const std::string& key) { return gPlugin->devices.at(key); }

    bool Logged(int level, const std::string& part) const;
    std::string ReadDeviceMap() const;

    std::shared_ptr<RecordingTarget> log;
    // Every request the windows queued, in order.
    std::vector<DeviceIoRequest> requests;
    std::wstring deviceMapPath;
};

std::wstring TextOf(HWND window);
// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);
// The window's outer height.
int OuterHeight(HWND window);
