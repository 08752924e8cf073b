// usb_registry.exe add|remove <com> <vid hex> <pid hex> <serial>
// Registers or removes an emulated USB serial device for SetupAPI.
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <exception>

#include "UsbRegistry.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 6 || (wcscmp(argv[1], L"add") != 0 && wcscmp(argv[1], L"remove") != 0)) {
        fwprintf(stderr,
                 L"usage: usb_registry add|remove <com number> <vid hex> <pid hex> <serial>\n");
        return 2;
    }
    try {
        const int com = static_cast<int>(wcstol(argv[2], nullptr, 10));
        const auto vid = static_cast<uint16_t>(wcstoul(argv[3], nullptr, 16));
        const auto pid = static_cast<uint16_t>(wcstoul(argv[4], nullptr, 16));
        const devemu::UsbRegistryEntry entry = devemu::MakeUsbSerialEntry(com, vid, pid, argv[5]);
        if (wcscmp(argv[1], L"add") == 0) {
            devemu::RegisterDevice(entry, false); // outlives this process
        } else {
            devemu::UnregisterDevice(entry);
        }
    } catch (const std::exception& e) {
        fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
