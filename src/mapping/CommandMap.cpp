#include "mapping/CommandMap.h"

#include "mapping/CommandMapErrors.h"
#include "support/StringHelpers.h"
#include "support/Logger.h"
#include "support/TextConversion.h"

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <filesystem>
#include <fstream>

namespace pt = boost::property_tree;

namespace {

// One "^"-ended part from position `from`, leading "^" skipped: [start, end).
// False when no part, or no "^" after it.
bool NextHoldPart(const std::string& text, size_t from, size_t& start, size_t& end) {
    start = text.find_first_not_of('^', from);
    if (start == std::string::npos)
        return false;
    end = text.find('^', start);
    return end != std::string::npos;
}

// Splits SECONDS^SHORT^REST out of text from position `from` the way
// SplitAny(text, 3, "^") would: runs of "^" are one separator and leading
// ones are skipped. False unless there are exactly three parts.
bool SplitHoldForm(const std::string& text, size_t from, std::string& seconds,
                   std::string& shortText, size_t& restStart) {
    size_t secondsStart, secondsEnd, shortStart, shortEnd;
    if (!NextHoldPart(text, from, secondsStart, secondsEnd) ||
        !NextHoldPart(text, secondsEnd, shortStart, shortEnd))
        return false;
    size_t rest = text.find_first_not_of('^', shortEnd);
    if (rest == std::string::npos)
        return false;
    seconds = text.substr(secondsStart, secondsEnd - secondsStart);
    shortText = text.substr(shortStart, shortEnd - shortStart);
    restStart = rest;
    return true;
}

} // namespace

bool CommandMap::Load(const std::wstring& path) {
    if (path.empty())
        return false;

    const std::string pathText = WideToUtf8(path);
    gLogger->Info("Attempting to load CommandMap %s", pathText.c_str());

    std::ifstream stream{std::filesystem::path(path)};
    if (!stream.is_open()) {
        const std::string reason = LastErrorText();
        gLogger->Info("Unable to open %s: %s", pathText.c_str(), reason.c_str());
        return false;
    }

    pt::ptree tree;
    try {
        pt::read_ini(stream, tree);
    } catch (const pt::ini_parser_error& e) {
        gLogger->Info("CommandMapping: Error parsing command map: %s:%lu: %s", e.filename().c_str(),
                      e.line(), e.message().c_str());
        return false;
    } catch (const std::exception& e) {
        gLogger->Info("CommandMapping: Error parsing command map: %s", e.what());
        return false;
    }

    const std::string version = tree.get<std::string>("metadata.version", "Unknown");
    const std::string description = tree.get<std::string>("metadata.description", "");
    gLogger->Info("CommandMapping: loaded %s", pathText.c_str());
    gLogger->Info("CommandMapping: Loaded %s: Version %s", pathText.c_str(), version.c_str());

    for (const auto& entry : tree) {
        if (entry.first.find('#') != std::string::npos)
            ParseSection(path, entry.first, entry.second);
    }

    loadedMaps_.push_back(LoadedMapInfo{path, description, version});
    gLogger->Trace("CommandMapping: loading completed");
    return true;
}

void CommandMap::Clear() {
    sections_.clear();
    loadedMaps_.clear();
}

const DeviceSection& CommandMap::Section(const std::string& hardware,
                                         const std::string& function) const {
    auto it = sections_.find(SectionName(hardware, function));
    if (it == sections_.end())
        throw no_command_mapped_err(hardware, function);
    return it->second;
}

const CommandBindings& CommandMap::Commands(const std::string& hardware,
                                            const std::string& function) const {
    return Section(hardware, function).commands;
}

const std::vector<IndicatorEntry>& CommandMap::Indicators(const std::string& hardware,
                                                          const std::string& function) const {
    return Section(hardware, function).indicators;
}

void CommandMap::DumpInfo() const {
    gLogger->Info("CM Info:");
    for (const auto& info : loadedMaps_) {
        gLogger->Info("- %s %s (%s)", WideToUtf8(info.path).c_str(), info.version.c_str(),
                      info.description.c_str());
    }
    gLogger->Info("---");
    gLogger->Info("Devices Mapped:");
    for (const auto& section : sections_) {
        gLogger->Info("- Dev: %s (%s)", section.first.first.c_str(), section.first.second.c_str());
    }
    gLogger->Info("---");
}

void CommandMap::ParseSection(const std::wstring& path, const std::string& name,
                              const pt::ptree& tree) {
    const size_t hashPos = name.find('#');
    const std::string hardware = name.substr(0, hashPos);
    const std::string function = hashPos == std::string::npos ? "" : name.substr(hashPos + 1);
    const std::string pathText = WideToUtf8(path);

    if (function.empty()) {
        gLogger->Info("Command Map Error: %s: Section %s has an empty device ID", pathText.c_str(),
                      name.c_str());
        return;
    }

    // A later file replaces the whole section.
    DeviceSection& section = sections_[SectionName(hardware, function)];
    section.commands.clear();
    section.indicators.clear();

    for (const auto& entry : tree) {
        try {
            const std::string key = Trim(entry.first);
            const std::string value = Trim(entry.second.data());
            if (value == "UNAVAILABLE")
                continue;

            if (key[0] == '<') {
                const int ledNumber = std::stoi(key.substr(1));
                const Conditional c = ParseConditional(value);
                section.indicators.push_back(IndicatorEntry{c.variableName, c.unit, c.dataType,
                                                            c.value, IndicatorEntry::Led});
                gLogger->Trace("CommandMapping: %s#%s: %d <== %s (%s) == %d", hardware.c_str(),
                               function.c_str(), ledNumber, c.variableName.c_str(), c.unit.c_str(),
                               c.value);
            } else if (key[0] == '{') {
                const Conditional c = ParseConditional(value);
                section.indicators.push_back(IndicatorEntry{c.variableName, c.unit, c.dataType,
                                                            c.value, IndicatorEntry::Named});
                gLogger->Trace("CommandMapping: %s#%s: %s <== %s", hardware.c_str(),
                               function.c_str(), key.c_str(), value.c_str());
            } else {
                std::string commandName = key;
                int kind = CommandKey::Once;
                if (commandName.back() == '+') {
                    kind = CommandKey::Press;
                    commandName.pop_back();
                } else if (commandName.back() == '-') {
                    kind = CommandKey::Release;
                    commandName.pop_back();
                }
                const size_t atPos = commandName.find('@');
                if (atPos != std::string::npos && commandName.find('#') != std::string::npos)
                    commandName.erase(atPos);

                auto& actions = section.commands[CommandKey{commandName, kind}];
                ParseActionList(value, actions, key);
            }
        } catch (...) {
            gLogger->Info("%s: entry for %s is invalid", pathText.c_str(), entry.first.c_str());
        }
    }
}

void CommandMap::ParseActionList(const std::string& value, std::vector<CommandAction>& actions,
                                 const std::string& key) {
    if (value.size() >= 2 && value.front() == '[' && value.back() == ']') {
        for (const auto& part : SplitAny(value.substr(1, value.size() - 2), 0, ","))
            actions.push_back(ParseAction(part, key));
        return;
    }
    actions.push_back(ParseAction(value, key));
}

CommandAction CommandMap::ParseAction(const std::string& text, const std::string& key) {
    // SECONDS^SHORT^LONG, where LONG may itself be such a form. Of a nested
    // LONG only its own event and data are kept, yet every level is parsed and
    // checked. The nesting is walked in a loop so a long chain cannot exhaust
    // the stack.
    std::vector<std::string> holdTimes;
    std::vector<CommandAction> shortActions; // the first two levels only
    size_t from = 0;
    std::string seconds;
    std::string shortText;
    size_t restStart = 0;
    while (SplitHoldForm(text, from, seconds, shortText, restStart)) {
        CommandAction shortAction = ParsePlainAction(shortText, key);
        if (shortActions.size() < 2)
            shortActions.push_back(std::move(shortAction));
        holdTimes.push_back(seconds);
        from = restStart;
    }
    CommandAction last = ParsePlainAction(text.substr(from), key);
    if (holdTimes.empty())
        return last;

    // Innermost hold time first, as a nested parse would check them.
    float holdTime = 0.0f;
    for (auto it = holdTimes.rbegin(); it != holdTimes.rend(); ++it)
        holdTime = std::stof(*it);

    const CommandAction& longAction = shortActions.size() >= 2 ? shortActions[1] : last;
    CommandAction result = shortActions[0];
    result.hold = HoldForm{holdTime, longAction.eventName, longAction.fixedData};
    return result;
}

CommandAction CommandMap::ParsePlainAction(const std::string& text, const std::string& key) {
    CommandAction action;
    const size_t hashPos = text.find('#');
    if (hashPos != std::string::npos) {
        action.eventName = text.substr(0, hashPos);
        std::string dataText = text.substr(hashPos + 1);
        if (dataText.size() >= 3 &&
            (dataText.compare(0, 2, "+=") == 0 || dataText.compare(0, 2, "-=") == 0))
            ParseIncrementParam(action.eventName, dataText);
        action.fixedData = std::stoi(dataText);
    } else {
        action.eventName = text;
    }
    if (IsNumber(action.eventName, 10) || IsNumber(action.eventName, 16))
        action.eventName.insert(0, "#");
    ApplyKeyCondition(action, key);
    return action;
}

void CommandMap::ApplyKeyCondition(CommandAction& action, const std::string& key) {
    const size_t atPos = key.find('@');
    if (atPos == std::string::npos)
        return;
    Conditional c = ParseConditional(key.substr(atPos + 1));
    if (c.variableName.empty()) {
        gLogger->Error("Unable to parse Conditional: \"%s\"", key.c_str());
        return;
    }
    action.keyCondition = std::move(c);
}

Conditional CommandMap::ParseConditional(const std::string& text) {
    Conditional c;
    const size_t barPos = text.find('|');
    if (barPos == std::string::npos)
        return c;
    c.variableName = text.substr(0, barPos);
    const size_t hashPos = text.find('#');
    if (hashPos == std::string::npos) {
        c.unit = text.substr(barPos + 1);
    } else if (hashPos > barPos) {
        c.unit = text.substr(barPos + 1, hashPos - barPos - 1);
        c.value = std::stoi(text.substr(hashPos + 1));
    } else {
        c.unit = text.substr(barPos + 1);
        c.value = std::stoi(text.substr(hashPos + 1));
    }
    return c;
}

void CommandMap::ParseIncrementParam(std::string& eventName, std::string& dataText) {
    const char sign = dataText[0];
    const size_t open = dataText.find('[');
    if (open == std::string::npos) {
        dataText = sign + dataText.substr(2);
        return;
    }
    const size_t close = dataText.find(']', open);
    if (close != std::string::npos)
        eventName += dataText.substr(open, close - open + 1);
    else
        eventName += dataText.substr(open);
    dataText = sign + dataText.substr(2, open - 2);
}
