#include "mapping/DeviceMappingConfig.h"

#include "mapping/MappingErrors.h"
#include "support/Logger.h"
#include "support/TextConversion.h"

#include <boost/property_tree/ini_parser.hpp>

#include <windows.h>

#include <filesystem>
#include <fstream>

namespace pt = boost::property_tree;

namespace {

constexpr char kYokeSection[] = "RidgelineYoke";
constexpr char kGlobalSection[] = "GlobalConfig";

// A setting of the yoke or global section: the default when the key is missing
// or its value does not convert (the latter with a warning).
template <typename T>
T ReadSetting(const std::string& file, const std::string& sectionName, const pt::ptree& section,
              const char* key, T fallback, const char* fallbackText) {
    auto child = section.get_child_optional(pt::ptree::path_type(key, '\0'));
    if (!child)
        return fallback;
    try {
        return child->get_value<T>();
    } catch (const pt::ptree_bad_data&) {
        gLogger->Warning("Device map \"%s\": section [%s] has an invalid %s value \"%s\" - "
                         "default %s used",
                         file.c_str(), sectionName.c_str(), key, child->data().c_str(),
                         fallbackText);
        return fallback;
    }
}

} // namespace

void DeviceMappingConfig::Load(const std::wstring& path) {
    std::ifstream stream{std::filesystem::path(path)};
    if (!stream.is_open())
        return;

    pt::ptree tree;
    try {
        pt::read_ini(stream, tree);
    } catch (const pt::ini_parser_error& e) {
        throw MappingLoadError(e.filename(), static_cast<uint32_t>(e.line()), e.message());
    }

    const std::string file = WideToUtf8(path);
    mappings.clear();
    for (const auto& section : tree) {
        if (section.first == kYokeSection) {
            rollState =
                ReadSetting<uint32_t>(file, section.first, section.second, "roll_state", 2u, "2");
            pitchState =
                ReadSetting<uint32_t>(file, section.first, section.second, "pitch_state", 2u, "2");
        } else if (section.first == kGlobalSection) {
            legacyProbing = ReadSetting<bool>(file, section.first, section.second, "probe_legacy",
                                              true, "true");
        } else {
            try {
                mappings.push_back(std::make_shared<DeviceMapping>(section.second));
            } catch (const FileFormatException&) {
                // A section without Port, Model or Function is skipped.
            } catch (const pt::ptree_bad_data&) {
                gLogger->Warning("Device map \"%s\": section [%s] has an invalid Function value "
                                 "\"%s\" - device mapping skipped",
                                 file.c_str(), section.first.c_str(),
                                 section.second.get<std::string>("Function", "").c_str());
            }
        }
    }
}

void DeviceMappingConfig::Save(const std::wstring& path) const {
    // A read-only file counts as one that cannot be opened for writing.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        gLogger->Info("Unable to open DeviceMapping file");
        return;
    }

    // The new contents go to a file beside the old one, which is replaced only
    // when they were written completely: a failed write never loses the file.
    const std::wstring tempPath = path + L".tmp";
    std::ofstream out{std::filesystem::path(tempPath), std::ios::out | std::ios::trunc};
    if (!out.is_open()) {
        gLogger->Info("Unable to open DeviceMapping file");
        return;
    }

    pt::ptree tree;
    int index = 0;
    for (const auto& mapping : mappings)
        tree.push_back(std::make_pair(std::to_string(index++), mapping->ToPtree()));
    tree.put("RidgelineYoke.roll_state", rollState);
    tree.put("RidgelineYoke.pitch_state", pitchState);
    tree.put("GlobalConfig.probe_legacy", legacyProbing);

    bool written = true;
    try {
        pt::write_ini(out, tree);
    } catch (const std::exception&) {
        written = false;
    }
    out.close();
    const std::string file = WideToUtf8(path);
    if (!written || out.fail()) {
        gLogger->Warning("Unable to write DeviceMapping file \"%s\" - file left unchanged",
                         file.c_str());
        DeleteFileW(tempPath.c_str());
        return;
    }
    if (!MoveFileExW(tempPath.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const std::string reason = LastErrorText();
        gLogger->Warning("Unable to replace DeviceMapping file \"%s\" - file left unchanged: %s",
                         file.c_str(), reason.c_str());
        DeleteFileW(tempPath.c_str());
    }
}

std::shared_ptr<DeviceMapping> DeviceMappingConfig::Find(const std::string& port,
                                                         const std::string& model,
                                                         const std::string& id) const {
    auto first = [this](auto matches) -> std::shared_ptr<DeviceMapping> {
        for (const auto& mapping : mappings) {
            if (matches(*mapping))
                return mapping;
        }
        return nullptr;
    };

    std::shared_ptr<DeviceMapping> found;
    if (!id.empty()) {
        found = first([&](const DeviceMapping& m) {
            return m.Model == model && m.Id == id && m.Port == port;
        });
        if (!found)
            found = first([&](const DeviceMapping& m) { return m.Model == model && m.Id == id; });
        if (!found) {
            found = first([&](const DeviceMapping& m) {
                return m.Model == model && m.Id.empty() && m.Port == port;
            });
        }
        return found;
    }
    found = first(
        [&](const DeviceMapping& m) { return m.Model == model && m.Id.empty() && m.Port == port; });
    if (!found)
        found = first([&](const DeviceMapping& m) { return m.Model == model && m.Port == port; });
    return found;
}

void DeviceMappingConfig::SetMapping(const std::string& port, const std::string& model,
                                     int function, const std::string& id) {
    auto mapping = Find(port, model, id);
    if (!mapping) {
        mappings.push_back(std::make_shared<DeviceMapping>(port, function, model, id));
        return;
    }
    mapping->Port = port;
    mapping->Function = function;
    if (!id.empty())
        mapping->Id = id;
}
