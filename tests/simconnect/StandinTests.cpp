// End to end against the stand-in simulator over a pipe and over TCP.

#include "TestPeer.h"

#include "simconnect/SimConnect.h"

#include "../common/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}
std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::wstring StandinPath() {
    const char* bin = getenv("BKF_BIN_DIR");
    return L"Z:" + Widen(bin ? bin : "") + L"/sim_standin.exe";
}

class Standin {
public:
    Standin(const TempFolder& folder, const std::string& options) {
        std::wstring dir = folder.Path();
        readyFile = dir + L"\\ready.txt";
        std::wstring script = dir + L"\\script.txt";
        std::ofstream(Narrow(script)) << "0 wait-request RequestSystemState 2\n300 quit\n";
        std::wstring command = L"\"" + StandinPath() + L"\" --no-registry --frame-ms 0 " +
                               Widen(options) + L" --ready-file \"" + readyFile +
                               L"\" --record \"" + dir + L"\\record.txt\" --script \"" + script +
                               L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                 nullptr, dir.c_str(), &startup, &process);
    }
    ~Standin() {
        if (started) {
            if (WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0)
                TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
    // The ready file's value for a key, once it is there.
    std::string Ready(const std::string& key) {
        std::string value;
        WaitFor(
            [&] {
                std::ifstream in(Narrow(readyFile));
                std::string word, rest;
                while (in >> word) {
                    std::getline(in, rest);
                    if (word == key) {
                        value = rest.substr(rest.find_first_not_of(' '));
                        return true;
                    }
                }
                return false;
            },
            10000);
        return value;
    }
    bool started = false;

private:
    std::wstring readyFile;
    PROCESS_INFORMATION process{};
};

// Sends the open request, then asks the stand-in for a few things until it
// quits, and checks what came back.
void Converse(simconnect::ClientClient* client) {
    NotifyWindow window;
    client->SetNotification(nullptr, window.Handle(), NotifyMessage, nullptr);
    simconnect::RequestBuilder open(client, 296, 0x01);
    open.Str("Brackenfold test", 256).U32(0).U32(0x004B4800).U32(11).U32(0).U32(62651).U32(3);
    ASSERT_EQ(open.SendNow(), S_OK);
    HANDLE handle = client;
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(handle, 3, "Sim"), S_OK);
    ASSERT_EQ(SimConnect_RequestSystemState(handle, 0, "AircraftLoaded"), S_OK);
    ASSERT_EQ(SimConnect_RequestSystemState(handle, 1, "Sim"), S_OK);
    std::vector<DWORD> ids;
    std::string aircraft;
    DWORD simState = 99;
    HRESULT last = S_OK;
    WaitFor(
        [&] {
            for (;;) {
                SIMCONNECT_RECV* data = nullptr;
                DWORD size = 0;
                last = SimConnect_GetNextDispatch(handle, &data, &size);
                if (!data)
                    return last != E_FAIL;
                ids.push_back(data->dwID);
                if (data->dwID == SIMCONNECT_RECV_ID_SYSTEM_STATE) {
                    auto* state = reinterpret_cast<SIMCONNECT_RECV_SYSTEM_STATE*>(data);
                    if (state->dwRequestID == 0)
                        aircraft = state->szString;
                    else
                        simState = state->dwInteger;
                }
            }
        },
        10000);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids.front(), static_cast<DWORD>(SIMCONNECT_RECV_ID_OPEN));
    EXPECT_EQ(ids.back(), static_cast<DWORD>(SIMCONNECT_RECV_ID_QUIT));
    EXPECT_NE(aircraft.find("aircraft.cfg"), std::string::npos);
    EXPECT_EQ(simState, 1u);
    EXPECT_LT(last, 0) << "the close code after the queue is drained";
    EXPECT_GE(window.Drain(), static_cast<int>(ids.size()));
    EXPECT_EQ(SimConnect_Close(handle), S_OK);
}

} // namespace

TEST(Standin, ConversationOverAPipe) {
    TempFolder folder;
    std::string pipe = UniquePipeName();
    Standin standin(folder, "--no-ipv4 --no-ipv6 --pipe " + pipe);
    ASSERT_TRUE(standin.started);
    ASSERT_FALSE(standin.Ready("pipe").empty());
    auto* client = new simconnect::ClientClient(simconnect::KindPipe);
    ASSERT_EQ(client->Connect(0, ".", pipe, 41088, false), 0);
    Converse(client);
}

TEST(Standin, ConversationOverTcp) {
    TempFolder folder;
    Standin standin(folder, "--no-pipe --no-ipv6");
    ASSERT_TRUE(standin.started);
    std::string port = standin.Ready("ipv4");
    ASSERT_FALSE(port.empty());
    simconnect::EnsureWinsock();
    auto* client = new simconnect::ClientClient(simconnect::KindSocket);
    ASSERT_EQ(client->Connect(AF_INET, "127.0.0.1", port, 41088, true), 0);
    Converse(client);
}
