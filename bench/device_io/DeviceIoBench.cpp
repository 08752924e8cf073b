// Device I/O figures under Wine with emulated devices: command lines delivered
// per second and lost, the round trip from a device's command line to the
// host line sent in answer, the CPU time spent with idle devices attached, and
// how long a stop takes with LEDs-off lines just queued.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DeviceEmulator.h"
#include "EmulatedDevice.h"
#include "device_io/DeviceIOManager.h"
#include "support/Logger.h"

using namespace std::chrono_literals;

namespace {

const int FirstCom = 20;

HWND MakeWindow(DeviceIOManager** manager) {
    WNDCLASSW wc = {};
    wc.lpszClassName = L"DeviceIoBenchWindow";
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WMU_DEVICE_MESSAGE) {
            auto* mgr = reinterpret_cast<DeviceIOManager*>(GetWindowLongPtrW(h, GWLP_USERDATA));
            if (mgr)
                mgr->DispatchIncoming();
            return 0;
        }
        return DefWindowProcW(h, m, w, l);
    };
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(*manager));
    return hwnd;
}

template <typename Pred> bool Pump(Pred done, std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](FILETIME f) {
        return (static_cast<unsigned long long>(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
}

std::string Identity(int com) {
    return "####Brackenfold#B" + std::to_string(com) + "#" + std::to_string(com) + "#1.0#0A";
}

std::string Key(int com) {
    return std::to_string(com) + "B" + std::to_string(com) + "0A";
}

} // namespace

int main() {
    gLogger = MakeLogger();
    devemu::DeviceEmulator emulator;

    std::map<std::string, size_t> commands; // by port
    size_t connected = 0;
    DeviceIOManager* raw = nullptr;
    std::function<void(const DeviceIncomingMessage&)> onMessage;
    auto manager =
        std::make_unique<DeviceIOManager>([&](const DeviceIncomingMessage& m) { onMessage(m); });
    raw = manager.get();
    HWND hwnd = MakeWindow(&raw);
    manager->SetNotifyWindow(hwnd);
    onMessage = [&](const DeviceIncomingMessage& m) {
        if (m.type == DeviceMessageType::Connected)
            ++connected;
        else if (m.type == DeviceMessageType::Command)
            ++commands[m.port];
    };

    // 1. Throughput with 16 devices, each at about 115200 baud.
    const int deviceCount = 16;
    std::vector<std::unique_ptr<devemu::EmulatedDevice>> devices;
    for (int i = 0; i < deviceCount; ++i) {
        devices.push_back(std::make_unique<devemu::EmulatedDevice>(emulator));
        devices.back()->Plug(FirstCom + i, 0x32B6, 0x0001, "BENCH" + std::to_string(i),
                             Identity(FirstCom + i), 1000);
    }
    manager->Start();
    if (!Pump([&] { return connected >= static_cast<size_t>(deviceCount); }, 20s)) {
        std::printf("only %zu of %d devices connected\n", connected, deviceCount);
        return 1;
    }
    // "C<com>_<n>\n" is about 8 bytes: 144 lines per 100 ms fill 115200 baud.
    const int linesPerBurst = 144;
    const int bursts = 50;
    size_t sent = 0;
    auto start = std::chrono::steady_clock::now();
    for (int b = 0; b < bursts; ++b) {
        auto due = start + b * 100ms;
        Pump([&] { return std::chrono::steady_clock::now() >= due; }, 1s);
        for (int i = 0; i < deviceCount; ++i) {
            devices[i]->SendBurst(linesPerBurst, "C" + std::to_string(FirstCom + i) + "_");
            sent += linesPerBurst;
        }
    }
    auto total = [&] {
        size_t n = 0;
        for (auto& e : commands)
            n += e.second;
        return n;
    };
    Pump([&] { return total() >= sent; }, 20s);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    size_t received = total();
    std::printf("throughput: %d devices, %zu lines sent, %zu delivered in %.2f s: %.0f lines/s, "
                "%zu lost\n",
                deviceCount, sent, received, seconds, received / seconds, sent - received);

    // 2. Round trip: a command line, answered by a host line queued at once.
    devemu::EmulatedDevice& rt = *devices[0];
    const std::string rtKey = Key(FirstCom);
    onMessage = [&](const DeviceIncomingMessage& m) {
        if (m.type == DeviceMessageType::Command && m.line.rfind("RT=", 0) == 0)
            raw->QueueRequest(DeviceIoRequest::SetLeds(rtKey, m.line.substr(3)));
    };
    std::vector<double> trips;
    rt.ClearReceived();
    for (int i = 0; i < 200; ++i) {
        std::string value = std::to_string(i);
        double sentAt = rt.SendLine("RT=" + value);
        bool answered = false;
        double answeredAt = 0;
        Pump(
            [&] {
                for (const auto& line : rt.ReceivedLinesWithTime()) {
                    if (line.text == "<" + value) {
                        answered = true;
                        answeredAt = line.time;
                    }
                }
                return answered;
            },
            2s);
        if (answered)
            trips.push_back((answeredAt - sentAt) * 1000.0);
        rt.ClearReceived();
    }
    std::sort(trips.begin(), trips.end());
    if (!trips.empty()) {
        std::printf("round trip over %zu lines: median %.2f ms, 99th percentile %.2f ms\n",
                    trips.size(), trips[trips.size() / 2], trips[trips.size() * 99 / 100]);
    }

    // 3. CPU time with 8 idle devices attached (identity line every second).
    for (int i = 8; i < deviceCount; ++i)
        devices[i]->Unplug();
    Pump([] { return false; }, 3s);
    double cpu0 = CpuSeconds();
    auto idleStart = std::chrono::steady_clock::now();
    Sleep(10000);
    double idleSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - idleStart).count();
    std::printf("idle: 8 devices, %.1f ms CPU per second\n",
                (CpuSeconds() - cpu0) * 1000.0 / idleSeconds);

    // 4. Stop with 8 devices connected and their LEDs-off lines just queued,
    // as the program stops at exit.
    const int connectedCount = 8;
    for (int i = 0; i < connectedCount; ++i)
        manager->QueueRequest(DeviceIoRequest::SetLeds(Key(FirstCom + i), "1111"));
    bool lit = Pump(
        [&] {
            for (int i = 0; i < connectedCount; ++i) {
                auto lines = devices[i]->ReceivedLines();
                if (std::find(lines.begin(), lines.end(), "<1111") == lines.end())
                    return false;
            }
            return true;
        },
        5s);
    for (int i = 0; i < connectedCount; ++i) {
        devices[i]->ClearReceived();
        manager->QueueRequest(DeviceIoRequest::ClearLeds(Key(FirstCom + i)));
    }
    auto stopStart = std::chrono::steady_clock::now();
    manager->Stop();
    double stopMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stopStart)
            .count();
    int off = 0;
    for (int i = 0; i < connectedCount; ++i)
        if (devices[i]->WaitForLine("<0000", 3s))
            ++off;
    std::printf("stop: %d devices, LEDs-off lines just queued: %.1f ms; off line at %d of %d%s\n",
                connectedCount, stopMs, off, connectedCount, lit ? "" : " (not all LEDs were lit)");

    manager.reset();
    DestroyWindow(hwnd);
    return 0;
}
