#pragma once

// One row of the device list: the cells that show a device, and up to three
// buttons that assign its panel function.

#include "support/Win32Handles.h"
#include "support/WindowSubclass.h"

#include <windows.h>

#include <array>
#include <optional>
#include <string>

class DeviceRecord;
class MainWindow;

class DeviceRow {
public:
    static constexpr size_t kMaxButtons = 3;

    // Creates the row's cells as children of the main window, at y.
    DeviceRow(MainWindow* window, int y);
    // Detaches every subclass and destroys every control of the row.
    ~DeviceRow();
    // The controls hold the addresses of the row's subclasses: a row never moves.
    DeviceRow(const DeviceRow&) = delete;
    DeviceRow& operator=(const DeviceRow&) = delete;

    // Creates and labels the buttons of the record's allowed functions.
    void FillFunctionButtons(MainWindow* window, const DeviceRecord& record);

    // The cells whose texts a refresh sets.
    enum Cell { Hardware, Port, Version, Message, Command, Leds, Type, CellCount };
    // Sets the cell's text unless it shows that text already; true when it changed.
    // Every refresh updates every row, and under load most texts stay as they are.
    bool ShowText(Cell cell, const std::string& text);

    std::string key;
    UniqueWindow blankCell;
    UniqueWindow hardwareCell;
    WindowSubclass typeCell;
    std::array<WindowSubclass, kMaxButtons> buttons;
    std::array<bool, kMaxButtons> selected{};
    UniqueWindow portCell;
    UniqueWindow versionCell;
    UniqueWindow messageCell;
    UniqueWindow commandCell;
    UniqueWindow ledCell;
    bool buttonsFilled = false;

private:
    HWND CellWindow(Cell cell) const;

    std::array<std::optional<std::string>, CellCount> shown_;
    // Owners of the subclassed controls; the buttons are children of the type cell.
    UniqueWindow typeWindow_;
    std::array<UniqueWindow, kMaxButtons> buttonWindows_;
};

// The label of a function button: "COM1", "COM2", "PFD1" for 1 to 3, else the
// panel function's name.
std::string FunctionButtonLabel(int code);
