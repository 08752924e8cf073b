#pragma once

// A stand-in simulator with SimConnect connections to it, and a logger that keeps
// every line, for the simulator-link tests.

#include "../tools/StandinHarness.h"
#include "common/RecordingTarget.h"
#include "simconnect/SimConnect.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// One request line of the stand-in's record.
struct RecordedRequest {
    int client = 0;
    unsigned sendId = 0;
    std::string function;
    std::string fields; // everything after the function name
};

class StandinLink {
public:
    explicit StandinLink(const std::vector<std::wstring>& extraArgs = {},
                         const std::string& script = "");
    ~StandinLink();

    bool Ready() const { return standin.Ready(); }
    // A new connection to the stand-in; null when it failed. Closed at the end.
    HANDLE Connect();
    void Close(HANDLE handle);
    // Waits until the stand-in has recorded every request sent so far on the handle.
    bool Sync(HANDLE handle);
    // Requests of that function (every function when empty) from that client
    // (every client when 0), in the order received.
    std::vector<RecordedRequest> Requests(const std::string& function = "", int client = 0) const;
    // The fields of the requests, for short comparisons.
    std::vector<std::string> Fields(const std::string& function, int client = 0) const;
    standin_test::StandinProcess& Process() { return standin; }

private:
    standin_test::StandinProcess standin;
    std::vector<HANDLE> handles;
    unsigned nextSyncId = 0x5000;
};

// Installs a fresh gLogger with a recording target that keeps every level.
std::shared_ptr<RecordingTarget> InstallRecordingLogger();

// A test with a recording logger and a connection to a fresh stand-in.
class StandinLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        log = InstallRecordingLogger();
        ASSERT_TRUE(link.Ready());
    }
    void TearDown() override { gLogger.reset(); }

    std::shared_ptr<RecordingTarget> log;
    StandinLink link;
};

// The texts of the recorded lines of one level (-1: every level).
std::vector<std::string> LogTexts(const RecordingTarget& target, int level = -1);
bool HasLogLine(const RecordingTarget& target, const std::string& text);

// Hands every waiting message of the connection to the function; waits up to
// timeoutMs for the first one when none is there. Returns how many there were.
template <typename Function> int DrainMessages(HANDLE handle, Function function, DWORD timeoutMs) {
    int count = 0;
    DWORD start = GetTickCount();
    for (;;) {
        SIMCONNECT_RECV* data = nullptr;
        DWORD size = 0;
        if (SUCCEEDED(SimConnect_GetNextDispatch(handle, &data, &size))) {
            function(data, size);
            ++count;
            continue;
        }
        if (count > 0 || GetTickCount() - start > timeoutMs)
            return count;
        Sleep(5);
    }
}
