#pragma once

// The helper module's four client-data command pages: a message goes into a free
// page, which stays busy until the helper reports it has read it.

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>

#include "simconnect/SimConnect.h"

class ClientEventRegistry;
class NotificationGroup;
class NotificationGroupRegistry;
class SimEvent;

class CommandPageClient {
public:
    static constexpr uint32_t PageCount = 4;
    static constexpr uint32_t PageSize = 4096;
    static constexpr uint32_t PayloadCapacity = PageSize - 2;
    // Client-data definition ids of the program's side.
    static constexpr uint32_t CLD_COMMAND_DATA = 0;
    static constexpr uint32_t CLD_PUBLISHED_VARIABLE = 1;
    static constexpr const char* FinishedEventName = "BKF.XPARAM.CMD_FINISHED";

    CommandPageClient(ClientEventRegistry& events, NotificationGroupRegistry& groups);
    ~CommandPageClient();
    CommandPageClient(const CommandPageClient&) = delete;
    CommandPageClient& operator=(const CommandPageClient&) = delete;

    void SetHandle(HANDLE newHandle);
    // Writes the payload (at most 4094 bytes) into the next free page; false when no
    // page is free, the payload does not fit or the simulator refused it.
    bool Transmit(const uint8_t* payload, uint64_t length);
    // Frees the page named by a completion event; any other event is ignored.
    // size is the size of the received message.
    void OnEvent(const SIMCONNECT_RECV_EVENT* event, DWORD size);

    // For the dispatch and tests.
    const std::shared_ptr<NotificationGroup>& Group() const { return group; }
    bool IsBusy(uint32_t page) const { return page < PageCount && busy[page]; }
    uint32_t NextPage() const { return nextPage; }

private:
    void DefineClientData();
    int32_t NextFreePage();

    std::shared_ptr<NotificationGroup> group;
    std::shared_ptr<SimEvent> finishedEvent;
    HANDLE handle = nullptr;
    uint32_t nextPage = 0;
    std::array<bool, PageCount> busy = {};
};

// snprintf into a bounded buffer (always terminated): the length the whole text
// needs, or -1 on a formatting error.
int32_t FormatBounded(char* buffer, uint64_t size, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));
