#pragma once

#include "mapping/CommandRecords.h"

#include <boost/property_tree/ptree_fwd.hpp>

#include <list>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The command maps loaded so far: one section per hardware name and function
// name, a later file replacing a whole section of an earlier one.
class CommandMap {
public:
    // Parses one file into the map; true when it was read. A file that cannot
    // be opened or is not valid INI changes nothing.
    bool Load(const std::wstring& path);
    void Clear();

    // Throw no_command_mapped_err when no section (hardware, function) exists.
    const CommandBindings& Commands(const std::string& hardware, const std::string& function) const;
    const std::vector<IndicatorEntry>& Indicators(const std::string& hardware,
                                                  const std::string& function) const;

    // Logs the loaded files and the mapped sections.
    void DumpInfo() const;

    const std::list<LoadedMapInfo>& LoadedMaps() const { return loadedMaps_; }

private:
    using SectionName = std::pair<std::string, std::string>; // hardware, function

    const DeviceSection& Section(const std::string& hardware, const std::string& function) const;

    void ParseSection(const std::wstring& path, const std::string& name,
                      const boost::property_tree::ptree& tree);
    static void ParseActionList(const std::string& value, std::vector<CommandAction>& actions,
                                const std::string& key);
    static CommandAction ParseAction(const std::string& text, const std::string& key);
    static CommandAction ParsePlainAction(const std::string& text, const std::string& key);
    static void ApplyKeyCondition(CommandAction& action, const std::string& key);
    static Conditional ParseConditional(const std::string& text);
    static void ParseIncrementParam(std::string& eventName, std::string& dataText);

    std::map<SectionName, DeviceSection> sections_;
    std::list<LoadedMapInfo> loadedMaps_;
};
