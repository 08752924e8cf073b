#pragma once

#include "mapping/DeviceMapping.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>

// The contents of DeviceMapping.ini: device assignments, the yoke's force
// presets and whether legacy devices are probed.
class DeviceMappingConfig {
public:
    // Reads the file; a file that cannot be opened changes nothing. Throws
    // MappingLoadError, with nothing changed, when the file is not valid INI.
    void Load(const std::wstring& path);
    // Writes the whole contents; the old file is replaced only once the new
    // contents were written completely.
    void Save(const std::wstring& path) const;

    // The stored mapping for a device, or an empty pointer.
    std::shared_ptr<DeviceMapping> Find(const std::string& port, const std::string& model,
                                        const std::string& id) const;
    // Updates the matching mapping or appends a new one; writes nothing.
    void SetMapping(const std::string& port, const std::string& model, int function,
                    const std::string& id);

    std::list<std::shared_ptr<DeviceMapping>> mappings;
    uint32_t pitchState = 2;
    uint32_t rollState = 2;
    bool legacyProbing = true;
};
