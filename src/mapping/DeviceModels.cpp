#include "mapping/DeviceModels.h"

#include <unordered_map>

const std::deque<std::set<int>> InterchangeableModelGroups = {{1, 2, 3, 4}, {5, 6, 8}};

int ModelFromIdentity(const std::string& modelText) {
    static const std::unordered_map<std::string, int> models = {
        {"Brackenfold-Wayfinder4", 1},      {"Brackenfold-Wayfinder5", 2},
        {"Brackenfold-Touchnav6", 3},       {"Brackenfold-Touchnav7", 4},
        {"Brackenfold-PanoramaXFD", 5},     {"Brackenfold-PanoramaXFD1", 5},
        {"Brackenfold-PanoramaXFD2", 5},    {"Brackenfold-PanoramaMFD15", 8},
        {"Brackenfold-Minidial", 7},        {"Brackenfold-MinidialATT", 7},
        {"Brackenfold-MinidialHSD", 7},     {"Brackenfold-Vistapanel", 6},
        {"Brackenfold-Ridgeline-Yoke", 10}, {"Brackenfold-Horizon5", 9},
        {"Brackenfold-Keypad", 11},         {"Brackenfold-KeypadPlus", 12},
        {"Brackenfold-Autoflight5", 13},    {"Brackenfold-Autoflight7", 14},
        {"Brackenfold-Audiopanel", 15},     {"Brackenfold-Standby", 16},
        {"Brackenfold-PanoramaPFD1", 5},    {"Brackenfold-PanoramaPFD2", 5},
        {"Brackenfold-PanoramaMFD1", 5},    {"Brackenfold-PanoramaMFD2", 5},
    };
    auto it = models.find(modelText);
    return it == models.end() ? kUnknownDeviceModel : it->second;
}

std::string FamilyIdentity(int model) {
    switch (model) {
    case 1:
    case 2:
        return "Brackenfold-WayfinderX";
    case 3:
    case 4:
        return "Brackenfold-TouchnavX";
    case 5:
    case 8:
        return "Brackenfold-PanoramaXFD";
    case 7:
        return "Brackenfold-Minidial";
    case 9:
        return "Brackenfold-Horizon5";
    default:
        return std::string();
    }
}

const std::set<int>& AllowedFunctions(int model) {
    switch (model) {
    case 1:
    case 2:
    case 3:
    case 4: {
        static const std::set<int> navigator = {1, 2};
        return navigator;
    }
    case 5:
    case 6: {
        static const std::set<int> display = {3, 4, 8};
        return display;
    }
    case 7: {
        static const std::set<int> standby = {3, 5};
        return standby;
    }
    case 8: {
        static const std::set<int> multiFunction = {4};
        return multiFunction;
    }
    case 9: {
        static const std::set<int> controlUnit = {6, 7};
        return controlUnit;
    }
    default: {
        static const std::set<int> none;
        return none;
    }
    }
}

bool ModelsInterchangeable(int a, int b) {
    if (a == b)
        return true;
    for (const auto& group : InterchangeableModelGroups) {
        if (group.count(a) != 0)
            return group.count(b) != 0;
    }
    return false;
}
