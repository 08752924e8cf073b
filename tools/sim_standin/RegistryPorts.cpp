#include "RegistryPorts.h"

#include <windows.h>

namespace standin {

namespace {
constexpr const char* KeyPath = "SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk";
}

RegistryPorts::~RegistryPorts() {
    Remove();
}

bool RegistryPorts::Write(const char* valueName, unsigned short port) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    std::string text = std::to_string(port);
    LONG result =
        RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       DWORD(text.size() + 1));
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return false;
    for (auto& entry : written) {
        if (!entry.name || std::string(entry.name) == valueName) {
            entry.name = valueName;
            entry.text = text;
            break;
        }
    }
    return true;
}

void RegistryPorts::Remove() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    for (auto& entry : written) {
        if (!entry.name)
            continue;
        char value[64] = {};
        DWORD size = sizeof value - 1;
        DWORD type = 0;
        if (RegQueryValueExA(key, entry.name, nullptr, &type, reinterpret_cast<BYTE*>(value),
                             &size) == ERROR_SUCCESS &&
            entry.text == value)
            RegDeleteValueA(key, entry.name);
        entry.name = nullptr;
    }
    RegCloseKey(key);
}

} // namespace standin
