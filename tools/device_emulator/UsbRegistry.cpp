#include "UsbRegistry.h"

#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace devemu {
namespace {

const wchar_t kEnumRoot[] = L"System\\CurrentControlSet\\Enum\\";
// Wine's SetupAPI passes over instance keys without a class GUID.
const wchar_t kPortsClassGuid[] = L"{4d36e978-e325-11ce-bfc1-08002be10318}";
// The process that registered an emulated device (REG_DWORD).
const wchar_t kOwnerValue[] = L"EmulatorOwner";

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

void Check(LONG result, const char* what, const std::wstring& key) {
    if (result != ERROR_SUCCESS) {
        throw std::runtime_error(std::string("usb registry: ") + what + " " + Narrow(key) +
                                 " failed with error " + std::to_string(result));
    }
}

void SetString(HKEY key, const wchar_t* name, const std::wstring& value, const std::wstring& path) {
    Check(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
          "setting a value of", path);
}

class Key {
public:
    Key(HKEY parent, const std::wstring& path) : path_(path) {
        Check(RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                              nullptr),
              "creating", path);
    }
    ~Key() { RegCloseKey(key_); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return key_; }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

bool ProcessRuns(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return false;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

std::vector<std::wstring> SubKeys(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = 256;
        if (RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, size);
    }
    return names;
}

std::wstring DeviceIdPath(const UsbRegistryEntry& entry) {
    return kEnumRoot + entry.enumerator + L"\\" + entry.deviceId;
}

} // namespace

UsbRegistryEntry MakeUsbSerialEntry(int comNumber, uint16_t vid, uint16_t pid,
                                    const std::wstring& serial) {
    wchar_t id[64];
    swprintf(id, 64, L"VID_%04X&PID_%04X", vid, pid);
    UsbRegistryEntry entry;
    entry.deviceId = id;
    entry.instance = serial;
    entry.hardwareIds = {L"USB\\" + entry.deviceId + L"&REV_0100", L"USB\\" + entry.deviceId};
    entry.portName = L"COM" + std::to_wstring(comNumber);
    return entry;
}

void RegisterDevice(const UsbRegistryEntry& entry, bool owned) {
    if (entry.deviceId.empty() || entry.instance.empty()) {
        throw std::invalid_argument("usb registry: device id and instance must not be empty");
    }
    UnregisterDevice(entry);
    Key device(HKEY_LOCAL_MACHINE, DeviceIdPath(entry) + L"\\" + entry.instance);

    std::wstring ids;
    if (entry.hardwareIdAsMultiString) {
        for (const std::wstring& id : entry.hardwareIds)
            ids += id + L'\0';
        ids += L'\0';
        Check(RegSetValueExW(device.get(), L"HardwareID", 0, REG_MULTI_SZ,
                             reinterpret_cast<const BYTE*>(ids.data()),
                             static_cast<DWORD>(ids.size() * sizeof(wchar_t))),
              "setting HardwareID of", device.path());
    } else if (!entry.hardwareIds.empty()) {
        SetString(device.get(), L"HardwareID", entry.hardwareIds.front(), device.path());
    }
    SetString(device.get(), L"ClassGUID", kPortsClassGuid, device.path());
    SetString(device.get(), L"Class", L"Ports", device.path());
    SetString(device.get(), L"DeviceDesc", L"Emulated USB serial device", device.path());
    const DWORD owner = GetCurrentProcessId();
    if (owned) {
        Check(RegSetValueExW(device.get(), kOwnerValue, 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&owner), sizeof owner),
              "setting the owner of", device.path());
    }

    if (!entry.portName.empty()) {
        Key parameters(device.get(), L"Device Parameters");
        SetString(parameters.get(), L"PortName", entry.portName, device.path());
    }
}

void UnregisterDevice(const UsbRegistryEntry& entry) {
    const std::wstring parent = DeviceIdPath(entry);
    const std::wstring path = parent + L"\\" + entry.instance;
    LONG result = RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
    if (result != ERROR_FILE_NOT_FOUND)
        Check(result, "deleting", path);
    // Drop the device id key too once its last instance is gone.
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, parent.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD subKeys = 0;
        LONG info = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
        if (info == ERROR_SUCCESS && subKeys == 0)
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, parent.c_str());
    }
}

int RemoveStaleEntries() {
    int removed = 0;
    for (const wchar_t* enumerator : {L"USB", L"Ports"}) {
        HKEY root;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kEnumRoot + std::wstring(enumerator)).c_str(), 0,
                          KEY_READ, &root) != ERROR_SUCCESS) {
            continue;
        }
        std::vector<UsbRegistryEntry> stale;
        for (const std::wstring& deviceId : SubKeys(root)) {
            HKEY device;
            if (RegOpenKeyExW(root, deviceId.c_str(), 0, KEY_READ, &device) != ERROR_SUCCESS)
                continue;
            for (const std::wstring& instance : SubKeys(device)) {
                DWORD owner = 0, size = sizeof owner, type = 0;
                if (RegGetValueW(device, instance.c_str(), kOwnerValue, RRF_RT_REG_DWORD, &type,
                                 &owner, &size) == ERROR_SUCCESS &&
                    !ProcessRuns(owner)) {
                    UsbRegistryEntry entry;
                    entry.enumerator = enumerator;
                    entry.deviceId = deviceId;
                    entry.instance = instance;
                    stale.push_back(entry);
                }
            }
            RegCloseKey(device);
        }
        RegCloseKey(root);
        for (const UsbRegistryEntry& entry : stale) {
            UnregisterDevice(entry);
            ++removed;
        }
    }
    return removed;
}

} // namespace devemu
