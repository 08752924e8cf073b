#include "sim_link/CommandPageClient.h"

#include "sim_link/ClientEvent.h"
#include "sim_link/NotificationGroup.h"
#include "support/Logger.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

int32_t FormatBounded(char* buffer, uint64_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = vsnprintf(buffer, static_cast<size_t>(size), format, args);
    va_end(args);
    return result < 0 ? -1 : result;
}

CommandPageClient::CommandPageClient(ClientEventRegistry& events, NotificationGroupRegistry& groups)
    : group(groups.CreateGroup()), finishedEvent(events.GetSimEvent(FinishedEventName)) {
    group->AddEvent(finishedEvent);
    group->SetPriority(SIMCONNECT_GROUP_PRIORITY_HIGHEST);
}

CommandPageClient::~CommandPageClient() = default;

void CommandPageClient::SetHandle(HANDLE newHandle) {
    if (newHandle == handle)
        return;
    handle = newHandle;
    if (IsValidSimConnectHandle(handle))
        DefineClientData();
}

void CommandPageClient::DefineClientData() {
    if (SUCCEEDED(SimConnect_AddToClientDataDefinition(handle, CLD_COMMAND_DATA, 0, PageSize, 0,
                                                       SIMCONNECT_UNUSED))) {
        TraceSent(handle,
                  "CPC: SimConnect_AddToClientDataDefinition for CLD_COMMAND_DATA -> Txn: %d");
    } else {
        gLogger->Debug("CPC: SimConnect_AddToClientDataDefinition for CLD_COMMAND_DATA failed");
    }

    if (SUCCEEDED(SimConnect_AddToClientDataDefinition(handle, CLD_PUBLISHED_VARIABLE, 0,
                                                       SIMCONNECT_CLIENTDATATYPE_FLOAT64, 0,
                                                       SIMCONNECT_UNUSED))) {
        TraceSent(
            handle,
            "CPC: SimConnect_AddToClientDataDefinition for CLD_PUBLISHED_VARIABLE -> Txn: %d");
    } else {
        gLogger->Debug(
            "CPC: SimConnect_AddToClientDataDefinition for CLD_PUBLISHED_VARIABLE failed");
    }

    for (uint32_t page = 0; page < PageCount; ++page) {
        char name[32];
        FormatBounded(name, sizeof name, "BKF.CMD.%08x", page);
        if (SUCCEEDED(SimConnect_MapClientDataNameToID(handle, name, page))) {
            TraceSent(handle, "Mapped ClientData %s -> %d -> Txn: %d", name, page);
        } else {
            gLogger->Trace("Failed to map ClientData %s -> %d", name, page);
        }
    }
}

int32_t CommandPageClient::NextFreePage() {
    for (int probe = 0; probe < 5; ++probe) {
        uint32_t page = nextPage;
        nextPage = (page + 1) % PageCount;
        if (!busy[page])
            return static_cast<int32_t>(page);
    }
    return -1;
}

bool CommandPageClient::Transmit(const uint8_t* payload, uint64_t length) {
    if (length > PayloadCapacity) {
        gLogger->Error("command page payload of %llu bytes exceeds the page",
                       static_cast<unsigned long long>(length));
        return false;
    }
    if (!IsValidSimConnectHandle(handle))
        return false;
    std::vector<uint8_t> page(PageSize, 0);
    page[0] = static_cast<uint8_t>(length & 0xFF);
    page[1] = static_cast<uint8_t>(length >> 8);
    if (length > 0)
        std::memcpy(page.data() + 2, payload, static_cast<size_t>(length));

    int32_t index = NextFreePage();
    if (index < 0)
        return false;
    if (FAILED(SimConnect_SetClientData(handle, static_cast<uint32_t>(index), CLD_COMMAND_DATA, 0,
                                        0, PageSize, page.data()))) {
        gLogger->Error("failed to transmit command page to Simulator");
        return false;
    }
    TraceSent(handle, "SetClientData for Page %d -> Txn: %d", index);
    busy[index] = true;
    return true;
}

void CommandPageClient::OnEvent(const SIMCONNECT_RECV_EVENT* event, DWORD size) {
    // The fields are read only from a message that holds them.
    if (event == nullptr || size < sizeof(SIMCONNECT_RECV_EVENT) ||
        event->dwSize < sizeof(SIMCONNECT_RECV_EVENT))
        return;
    if (event->uEventID != finishedEvent->Id() || event->dwData >= PageCount)
        return;
    gLogger->Trace("CommandPageClient: Received notification that command page %d is available",
                   static_cast<int>(event->dwData));
    busy[event->dwData] = false;
}
