// Throughput of TransmitClientEvent and the request/answer round trip, over the
// named pipe and over TCP loopback, against the stand-in simulator.
#include "BenchSupport.h"

#include "simconnect/SimConnect.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kTransmitCount = 20000;
constexpr int kRoundTrips = 2000;
constexpr DWORD kSyncRequest = 0x7FFFFFFF;

// Drains the queue until a SYSTEM_STATE answer to the request arrives.
bool WaitForState(HANDLE handle, HANDLE event, DWORD requestId) {
    for (;;) {
        SIMCONNECT_RECV* data = nullptr;
        DWORD size = 0;
        while (SUCCEEDED(SimConnect_GetNextDispatch(handle, &data, &size)) && data) {
            if (data->dwID == SIMCONNECT_RECV_ID_SYSTEM_STATE &&
                reinterpret_cast<SIMCONNECT_RECV_SYSTEM_STATE*>(data)->dwRequestID == requestId)
                return true;
            if (data->dwID == SIMCONNECT_RECV_ID_QUIT)
                return false;
            data = nullptr;
        }
        if (WaitForSingleObject(event, 60000) != WAIT_OBJECT_0)
            return false;
    }
}

bool Run(const char* transport) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE handle = nullptr;
    HRESULT opened = SimConnect_Open(&handle, "Brackenfold bench", nullptr, 0, event, 0);
    if (FAILED(opened)) {
        std::printf("%s: cannot connect (0x%08lx)\n", transport,
                    static_cast<unsigned long>(opened));
        return false;
    }
    SimConnect_MapClientEventToSimEvent(handle, 2, "AXIS_ELEVATOR_SET");

    // Requests built, queued and written: the answer to a state request sent
    // after them arrives only once all of them went out.
    double start = Now();
    for (int i = 0; i < kTransmitCount; ++i)
        SimConnect_TransmitClientEvent(handle, 0, 2, static_cast<DWORD>(i), 1, 0x10);
    SimConnect_RequestSystemState(handle, kSyncRequest, "Sim");
    bool synced = WaitForState(handle, event, kSyncRequest);
    double elapsed = Now() - start;
    if (!synced)
        std::printf("%s: no answer after the transmitted events\n", transport);
    else
        std::printf("%s: TransmitClientEvent %d requests in %.3f s: %.0f requests/s\n", transport,
                    kTransmitCount, elapsed, kTransmitCount / elapsed);

    std::vector<double> roundTrips;
    for (int i = 0; i < kRoundTrips && synced; ++i) {
        double sent = Now();
        SimConnect_RequestSystemState(handle, static_cast<DWORD>(i), "Sim");
        if (!WaitForState(handle, event, static_cast<DWORD>(i)))
            break;
        roundTrips.push_back((Now() - sent) * 1e6);
    }
    Percentiles p = Summarise(roundTrips);
    std::printf("%s: RequestSystemState -> SYSTEM_STATE over %zu round trips: median %.0f us, "
                "99th percentile %.0f us\n",
                transport, roundTrips.size(), p.median, p.p99);
    SimConnect_Close(handle);
    CloseHandle(event);
    return synced && roundTrips.size() == kRoundTrips;
}

} // namespace

int main() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"bkf-simconnect-bench";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring standin = L"\"" + SiblingProgram(L"sim_standin.exe") +
                           L"\" --frame-ms 0 --record \"" + folder +
                           L"\\record.txt\" --ready-file \"" + folder + L"\\ready.txt\"";
    bool ok = true;
    {
        DeleteFileW((folder + L"\\ready.txt").c_str());
        ChildProcess simulator(standin + L" --no-ipv4 --no-ipv6 --no-registry", folder);
        if (WaitForKey(folder + L"\\ready.txt", "pipe", 10000).empty())
            return 2;
        ok = Run("pipe") && ok;
    }
    {
        // Without a pipe the connection falls back to the registry's IPv4 port.
        DeleteFileW((folder + L"\\ready.txt").c_str());
        ChildProcess simulator(standin + L" --no-pipe --no-ipv6", folder);
        if (WaitForKey(folder + L"\\ready.txt", "ipv4", 10000).empty())
            return 2;
        ok = Run("tcp-ipv4") && ok;
    }
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(folder), ignored);
    return ok ? 0 : 1;
}
