#pragma once

// One simulator connection as the API sees it: the transport plus the send
// buffer requests are built in, the queue of received packets and the
// notification of the application.

#include "simconnect/CClient.h"
#include "simconnect/SimConnect.h"

#include <string>

namespace simconnect {

constexpr uint32_t SendBufferSize = 41088;
constexpr uint32_t DefaultMaxReceiveSize = 41088;
constexpr uint32_t PipeBusyAttempts = 5;
constexpr DWORD PipeBusyWaitMs = 5000;

// Results of ClientClient::ReservePacket.
enum ReserveResult { Reserved = 0, ReserveNoRoom = 1, ReserveClosed = 2 };
// Results of ClientClient::GetNextPacket and ClientClient::DispatchAll.
enum QueueResult { QueuePacket = 0, QueueEmpty = 1, QueueClosed = 2 };

struct InProcessHello {
    uint32_t size;
    uint32_t version;
    uint32_t hostClientId;
    uint32_t serial;
    void* registerCallbacks;
    void* deliver;
};

typedef void*(CALLBACK* HostAllocateProc)(uint32_t hostClientId, uint32_t serial, uint32_t size);
typedef void(CALLBACK* HostReleaseProc)(uint32_t hostClientId, uint32_t serial, void* area);
typedef void(CALLBACK* HostSendProc)(uint32_t hostClientId, uint32_t serial, void* area);
typedef void(CALLBACK* HostFreeReceivedProc)(uint32_t hostClientId, uint32_t serial, void* bytes);

struct InProcessCallbacks {
    uint32_t size;
    uint32_t version;
    uint32_t hostClientId;
    uint32_t serial;
    HostAllocateProc allocate;
    HostReleaseProc release;
    HostSendProc send;
    HostFreeReceivedProc freeReceived;
};

// In-process states.
constexpr uint32_t InProcessNone = 0;
constexpr uint32_t InProcessWaiting = 1;
constexpr uint32_t InProcessHelloSent = 2;

class ClientClient : public CClient {
public:
    explicit ClientClient(uint32_t kind);
    ~ClientClient() override;

    void Reset() override;
    void Close(uint32_t reason, uint32_t code) override;
    int OnPacket(ReceiveRecord* record) override;
    void OnDataBeforeOpen() override {}

    // 0 connected, 1 failed.
    int Connect(uint32_t family, const std::string& address, const std::string& port,
                uint32_t maxReceiveSize, bool disableNagle);

    int ReservePacket(uint32_t size, uint8_t** space);
    void ReleasePacket(uint8_t* space, uint32_t size);
    int Flush();
    int SendBuffer();
    uint32_t NextSendID();
    uint32_t LastSendID() const { return sendId; }
    void SetSendID(uint32_t value) { sendId = value; }
    void GetCloseStatus(uint32_t* error, uint32_t* code) const;

    int GetNextPacket(SIMCONNECT_RECV** packet, DWORD* size);
    int DispatchAll(DispatchProc callback, void* context);
    void SetNotification(DispatchProc defaultCallback, HWND window, DWORD message, HANDLE event);
    void QueueReceived(PacketRecord* record);
    uint32_t ReceiveQueueCount();

    void Unlink();
    void EnterInProcessWaiting(HWND hostWindow);
    void CheckInProcessOpen(const uint8_t* packet, uint32_t size);
    bool TakeHostCallbacks(const InProcessCallbacks& callbacks);
    uint32_t HostClientId() const { return hostClientId; }

    ClientClient* prevClient = nullptr;
    ClientClient* nextClient = nullptr;

private:
    int FlushBuffer();
    void FreeRecord(PacketRecord* record);

    uint8_t autoFlush = 1;
    CRITICAL_SECTION* receiveQueueLock = nullptr;
    PacketQueue receiveQueue;
    HWND notifyWindow = nullptr;
    DWORD notifyMessage = 0;
    DispatchProc defaultCallback = nullptr;
    DispatchProc lastCallback = nullptr;
    void* lastContext = nullptr;
    uint32_t sendCapacity = SendBufferSize;
    uint8_t sendBuffer[SendBufferSize];
    uint8_t* sendStart;
    uint8_t* sendWrite;
    uint32_t sendId = 0;
    HANDLE notifyEvent = nullptr;
    PacketRecord* handedOut = nullptr;
    bool destroyed = false;

    uint32_t hostClientId = 0;
    uint32_t inProcessState = InProcessNone;
    HWND hostWindow = nullptr;
    InProcessHello hello{};
    InProcessCallbacks host{};
    bool inProcess = false;
    PacketRecord* lentHead = nullptr;

    friend int DestroyClient(ClientClient* client);
};

// Tears a connection down; the object is freed once its last I/O completed.
int DestroyClient(ClientClient* client);

// Runs DispatchAll for every connection with its stored callback.
int DispatchAllClients();

// Finds a live connection by serial and host client id.
ClientClient* FindClient(uint32_t serial, uint32_t hostClientId);

// Callbacks handed to an in-process host.
int CALLBACK InProcessRegisterCallbacks(const InProcessCallbacks* record);
void CALLBACK InProcessDeliver(uint32_t hostClientId, uint32_t serial, uint32_t size, void* bytes);

// Starts Winsock once; non-zero when it is running.
int EnsureWinsock();

// The handle the API hands out, and back.
inline ClientClient* FromHandle(HANDLE handle) {
    return static_cast<ClientClient*>(handle);
}

} // namespace simconnect
