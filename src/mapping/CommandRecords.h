#pragma once

#include "mapping/CommandKey.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// Data type of every variable a command map names (the simulator's 32-bit float).
constexpr int kCommandMapDataType = 3;

// A parsed VARIABLE|UNIT#VALUE text; an empty variable name means it did not parse.
struct Conditional {
    std::string variableName;
    std::string unit;
    int dataType = kCommandMapDataType;
    int value = 0;
};

// The long-press part of a SECONDS^SHORT^LONG action.
struct HoldForm {
    float holdTime = 0.0f;
    std::string longEventName;
    int longFixedData = 0;
};

// One action bound to a command.
struct CommandAction {
    std::string eventName;
    int fixedData = 0;
    std::optional<Conditional> keyCondition;
    std::optional<HoldForm> hold;
};

// One LED (kind 1) or named (kind 2) entry.
struct IndicatorEntry {
    static constexpr int Led = 1;
    static constexpr int Named = 2;

    std::string variableName;
    std::string unit;
    int dataType = kCommandMapDataType;
    int compareValue = 0;
    int kind = Led;
};

using CommandBindings = std::map<CommandKey, std::vector<CommandAction>>;

// The contents of one HARDWARE#FUNCTION section.
struct DeviceSection {
    CommandBindings commands;
    std::vector<IndicatorEntry> indicators;
};

// One command-map file that was read.
struct LoadedMapInfo {
    std::wstring path;
    std::string description;
    std::string version;
};
