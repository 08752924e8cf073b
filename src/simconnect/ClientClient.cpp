#include "simconnect/ClientClient.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace simconnect {

namespace {

std::mutex gListMutex;
ClientClient* gListHead = nullptr;
ClientClient* gListTail = nullptr;

class QueueLock {
public:
    explicit QueueLock(CRITICAL_SECTION* lock) : lock(lock) { EnterCriticalSection(lock); }
    ~QueueLock() { LeaveCriticalSection(lock); }

private:
    CRITICAL_SECTION* lock;
};

} // namespace

ClientClient::ClientClient(uint32_t kind) : CClient(kind) {
    receiveQueueLock = new CRITICAL_SECTION;
    InitializeCriticalSection(receiveQueueLock);
    memset(sendBuffer, 0, sizeof(sendBuffer));
    sendStart = sendWrite = sendBuffer;
    ++gClientClientCount;
    std::lock_guard<std::mutex> guard(gListMutex);
    prevClient = gListTail;
    if (gListTail)
        gListTail->nextClient = this;
    else
        gListHead = this;
    gListTail = this;
}

ClientClient::~ClientClient() {
    Unlink();
    PacketRecord* record = receiveQueue.TakeAll();
    while (record) {
        PacketRecord* next = record->next;
        FreeRecord(record);
        record = next;
    }
    while (lentHead) {
        PacketRecord* next = lentHead->next;
        delete lentHead;
        lentHead = next;
    }
    DeleteCriticalSection(receiveQueueLock);
    delete receiveQueueLock;
}

void ClientClient::Unlink() {
    FreeRecord(handedOut);
    handedOut = nullptr;
    std::lock_guard<std::mutex> guard(gListMutex);
    bool linked = prevClient || nextClient || gListHead == this;
    if (!linked)
        return;
    if (prevClient)
        prevClient->nextClient = nextClient;
    else
        gListHead = nextClient;
    if (nextClient)
        nextClient->prevClient = prevClient;
    else
        gListTail = prevClient;
    prevClient = nextClient = nullptr;
    --gClientClientCount;
}

ClientClient* FindClient(uint32_t serial, uint32_t hostClientId) {
    std::lock_guard<std::mutex> guard(gListMutex);
    for (ClientClient* client = gListHead; client; client = client->nextClient) {
        if (client->Serial() == serial && client->HostClientId() == hostClientId)
            return client;
    }
    return nullptr;
}

void ClientClient::FreeRecord(PacketRecord* record) {
    if (!record)
        return;
    if (record->hostOwned) {
        if (host.freeReceived)
            host.freeReceived(hostClientId, record->serial, record->bytes);
        record->bytes = nullptr;
    }
    FreePacketRecord(record);
}

void ClientClient::Reset() {
    CClient::Reset();
    if (kind == KindSocket && disableNagle) {
        BOOL on = TRUE;
        setsockopt(reinterpret_cast<SOCKET>(handle), IPPROTO_TCP, TCP_NODELAY,
                   reinterpret_cast<const char*>(&on), sizeof(on));
    }
    state = 2;
}

void ClientClient::Close(uint32_t reason, uint32_t code) {
    CClient::Close(reason, code);
    if (reason == 0 || destroyed)
        return;
    if (notifyWindow && notifyMessage)
        PostMessageA(notifyWindow, notifyMessage, 0, 0);
    if (notifyEvent)
        SetEvent(notifyEvent);
}

int ClientClient::OnPacket(ReceiveRecord* record) {
    PacketRecord* packet = new (std::nothrow) PacketRecord();
    if (!packet)
        return 0;
    packet->bytes = record->bytes;
    packet->size = static_cast<uint32_t>(record->size);
    packet->serial = Serial();
    record->bytes = nullptr;
    record->size = 0;
    record->capacity = 0;
    QueueReceived(packet);
    return 0;
}

void ClientClient::QueueReceived(PacketRecord* record) {
    {
        QueueLock guard(receiveQueueLock);
        receiveQueue.Push(record);
    }
    if (notifyWindow && notifyMessage)
        PostMessageA(notifyWindow, notifyMessage, 0, 0);
    if (notifyEvent)
        SetEvent(notifyEvent);
}

uint32_t ClientClient::ReceiveQueueCount() {
    QueueLock guard(receiveQueueLock);
    return receiveQueue.count;
}

void ClientClient::SetNotification(DispatchProc callback, HWND window, DWORD message,
                                   HANDLE event) {
    notifyEvent = event;
    notifyWindow = window;
    notifyMessage = message;
    defaultCallback = callback;
}

uint32_t ClientClient::NextSendID() {
    ++sendId;
    if (sendId == 0)
        sendId = 1;
    return sendId;
}

int ClientClient::ReservePacket(uint32_t size, uint8_t** space) {
    *space = nullptr;
    if (IsClosed())
        return ReserveClosed;
    if (inProcess && host.allocate) {
        void* area = host.allocate(hostClientId, Serial(), size);
        if (area) {
            PacketRecord* lent = new (std::nothrow) PacketRecord();
            if (lent) {
                memset(area, 0, size);
                uint32_t id = NextSendID();
                memcpy(static_cast<uint8_t*>(area) + 12, &id, 4);
                lent->bytes = static_cast<uint8_t*>(area);
                lent->size = size;
                lent->serial = Serial();
                lent->hostOwned = 1;
                lent->next = lentHead;
                lentHead = lent;
                *space = lent->bytes;
                return Reserved;
            }
            if (host.release)
                host.release(hostClientId, Serial(), area);
        }
    }
    uint32_t used = static_cast<uint32_t>(sendWrite - sendStart);
    if (sendCapacity - used < size)
        return ReserveNoRoom;
    uint32_t id = NextSendID();
    memcpy(sendWrite + 12, &id, 4);
    *space = sendWrite;
    sendWrite += size;
    return Reserved;
}

void ClientClient::ReleasePacket(uint8_t* space, uint32_t size) {
    for (PacketRecord** link = &lentHead; *link; link = &(*link)->next) {
        if ((*link)->bytes == space) {
            PacketRecord* lent = *link;
            *link = lent->next;
            if (host.release)
                host.release(hostClientId, lent->serial, lent->bytes);
            delete lent;
            return;
        }
    }
    sendWrite = space;
    memset(space, 0, size);
}

int ClientClient::FlushBuffer() {
    if (lentHead) {
        // Hand the host's areas over in the order they were built.
        PacketRecord* reversed = nullptr;
        while (lentHead) {
            PacketRecord* next = lentHead->next;
            lentHead->next = reversed;
            reversed = lentHead;
            lentHead = next;
        }
        while (reversed) {
            PacketRecord* next = reversed->next;
            if (host.send)
                host.send(hostClientId, reversed->serial, reversed->bytes);
            delete reversed;
            reversed = next;
        }
        if (sendWrite == sendStart)
            return 0;
    }
    uint32_t used = static_cast<uint32_t>(sendWrite - sendStart);
    if (used == 0)
        return 1;
    uint8_t* copy = static_cast<uint8_t*>(malloc(used));
    if (!copy)
        return 1;
    memcpy(copy, sendStart, used);
    PacketRecord* record = new (std::nothrow) PacketRecord();
    if (!record) {
        free(copy);
        return 1;
    }
    record->bytes = copy;
    record->size = used;
    record->serial = Serial();
    bool queued = QueueSend(record);
    sendWrite = sendStart;
    memset(sendStart, 0, used);
    return queued ? 0 : 1;
}

int ClientClient::Flush() {
    if (!autoFlush)
        return 0;
    return FlushBuffer();
}

int ClientClient::SendBuffer() {
    return FlushBuffer();
}

void ClientClient::GetCloseStatus(uint32_t* error, uint32_t* code) const {
    if (error)
        *error = SystemError();
    if (code)
        *code = CloseCode();
}

int ClientClient::GetNextPacket(SIMCONNECT_RECV** packet, DWORD* size) {
    *packet = nullptr;
    *size = 0;
    FreeRecord(handedOut);
    handedOut = nullptr;
    PacketRecord* record;
    {
        QueueLock guard(receiveQueueLock);
        record = receiveQueue.Pop();
    }
    if (!record)
        return IsClosed() ? QueueClosed : QueueEmpty;
    handedOut = record;
    if (record->size >= 12 && record->bytes) {
        CheckInProcessOpen(record->bytes, record->size);
        *packet = reinterpret_cast<SIMCONNECT_RECV*>(record->bytes);
        *size = record->size;
        return QueuePacket;
    }
    return QueueEmpty;
}

int ClientClient::DispatchAll(DispatchProc callback, void* context) {
    DispatchProc use = callback ? callback : defaultCallback;
    if (!use)
        return QueueEmpty;
    lastCallback = callback;
    lastContext = context;
    PacketRecord* record;
    {
        QueueLock guard(receiveQueueLock);
        record = receiveQueue.TakeAll();
    }
    while (record) {
        PacketRecord* next = record->next;
        if (record->size >= 12 && record->bytes) {
            CheckInProcessOpen(record->bytes, record->size);
            use(reinterpret_cast<SIMCONNECT_RECV*>(record->bytes), record->size, context);
        }
        FreeRecord(record);
        record = next;
    }
    return IsClosed() ? QueueClosed : QueuePacket;
}

// All connections of the process with their stored callbacks.
int DispatchAllClients() {
    std::vector<ClientClient*> clients;
    {
        std::lock_guard<std::mutex> guard(gListMutex);
        for (ClientClient* client = gListHead; client; client = client->nextClient)
            clients.push_back(client);
    }
    for (ClientClient* client : clients)
        client->DispatchAll(nullptr, nullptr);
    return QueueEmpty;
}

void ClientClient::EnterInProcessWaiting(HWND window) {
    inProcessState = InProcessWaiting;
    hostWindow = window;
}

void ClientClient::CheckInProcessOpen(const uint8_t* packet, uint32_t size) {
    if (inProcessState != InProcessWaiting || hostClientId != 0)
        return;
    uint32_t id;
    memcpy(&id, packet + 8, 4);
    if (id != SIMCONNECT_RECV_ID_OPEN || size != 308)
        return;
    uint32_t clientId;
    memcpy(&clientId, packet + 300, 4);
    if (clientId == 0)
        return;
    hostClientId = clientId;
    inProcessState = InProcessHelloSent;
    hello.size = sizeof(InProcessHello);
    hello.version = 1;
    hello.hostClientId = clientId;
    hello.serial = Serial();
    hello.registerCallbacks = reinterpret_cast<void*>(&InProcessRegisterCallbacks);
    hello.deliver = reinterpret_cast<void*>(&InProcessDeliver);
    PostMessageA(hostWindow, WM_COMMAND, 0x2002A, reinterpret_cast<LPARAM>(&hello));
}

bool ClientClient::TakeHostCallbacks(const InProcessCallbacks& callbacks) {
    if (inProcess)
        return true;
    host = callbacks;
    inProcess = true;
    return true;
}

int CALLBACK InProcessRegisterCallbacks(const InProcessCallbacks* record) {
    if (!record || record->size != sizeof(InProcessCallbacks) || record->version != 2)
        return 0;
    ClientClient* client = FindClient(record->serial, record->hostClientId);
    if (!client || client->HostClientId() == 0)
        return 0;
    return client->TakeHostCallbacks(*record) ? 1 : 0;
}

void CALLBACK InProcessDeliver(uint32_t hostClientId, uint32_t serial, uint32_t size, void* bytes) {
    ClientClient* client = FindClient(serial, hostClientId);
    if (!client || hostClientId == 0)
        return;
    PacketRecord* record = new (std::nothrow) PacketRecord();
    if (!record)
        return;
    record->bytes = static_cast<uint8_t*>(bytes);
    record->size = size;
    record->serial = serial;
    record->hostOwned = 1;
    client->QueueReceived(record);
}

int DestroyClient(ClientClient* client) {
    if (!client)
        return 1;
    Sleep(100);
    client->Unlink();
    client->destroyed = true;
    client->Close(CloseOrderly, 0);
    client->DropWrites();
    client->Release();
    if (gClientClientCount.load() == 0) {
        for (int i = 0; i < 20 && gCClientCount.load() > 0; ++i)
            Sleep(250);
        if (gWinsockStarted.exchange(false))
            WSACleanup();
    }
    return 0;
}

int EnsureWinsock() {
    if (gWinsockStarted.load())
        return 1;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0)
        return 0;
    gWinsockStarted = true;
    return 1;
}

} // namespace simconnect
