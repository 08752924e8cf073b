#include "simconnect/CClient.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace simconnect {

std::atomic<long> gCClientCount{0};
std::atomic<long> gClientClientCount{0};
std::atomic<bool> gWinsockStarted{false};

namespace {

std::atomic<uint32_t> gSerialCounter{0};

// The thread pool hands either the raw status or its Win32 translation to the
// completion routine; both are brought to the status form here.
uint32_t NormaliseStatus(DWORD status) {
    switch (status) {
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
        return StatusPipeBroken;
    case ERROR_NETNAME_DELETED:
        return StatusRemoteDisconnect;
    case ERROR_CONNECTION_ABORTED:
    case WSAECONNRESET:
    case WSAECONNABORTED:
        return StatusConnectionReset;
    case ERROR_OPERATION_ABORTED:
        return CodeCancelled;
    case ERROR_MORE_DATA:
        return StatusBufferOverflow;
    default:
        if (status != 0 && status < 0x10000)
            return static_cast<uint32_t>(HRESULT_FROM_WIN32(status));
        return status;
    }
}

void ReasonForStatus(uint32_t status, uint32_t& reason, uint32_t& code) {
    code = status;
    if (status == StatusRemoteDisconnect || status == StatusPipeBroken ||
        status == StatusConnectionReset)
        reason = CloseDisconnected;
    else if (status == CodeCancelled)
        reason = CloseCancelled;
    else
        reason = CloseOtherStatus;
}

class LockGuard {
public:
    explicit LockGuard(CRITICAL_SECTION* lock) : lock(lock) {
        if (lock)
            EnterCriticalSection(lock);
    }
    ~LockGuard() {
        if (lock)
            LeaveCriticalSection(lock);
    }

private:
    CRITICAL_SECTION* lock;
};

} // namespace

void PacketQueue::Push(PacketRecord* record) {
    record->next = nullptr;
    if (tail)
        tail->next = record;
    else
        head = record;
    tail = record;
    ++count;
    bytes += record->size;
}

PacketRecord* PacketQueue::Pop() {
    PacketRecord* record = head;
    if (!record)
        return nullptr;
    head = record->next;
    if (!head)
        tail = nullptr;
    --count;
    bytes -= record->size;
    record->next = nullptr;
    return record;
}

PacketRecord* PacketQueue::TakeAll() {
    PacketRecord* chain = head;
    head = tail = nullptr;
    count = 0;
    bytes = 0;
    return chain;
}

void FreePacketRecord(PacketRecord* record) {
    if (!record)
        return;
    free(record->bytes);
    delete record;
}

uint32_t NextConnectionSerial() {
    uint32_t value = ++gSerialCounter;
    if (value == 0)
        value = ++gSerialCounter;
    return value;
}

void PrintConsole(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
}

CClient::CClient(uint32_t kind) : kind(kind) {
    sendQueueLock = new CRITICAL_SECTION;
    InitializeCriticalSection(sendQueueLock);
    memset(&readContext, 0, sizeof(readContext));
    memset(&writeContext, 0, sizeof(writeContext));
    ++gCClientCount;
}

CClient::~CClient() {
    FreeBuffers();
    if (sendQueueLock) {
        DeleteCriticalSection(sendQueueLock);
        delete sendQueueLock;
        sendQueueLock = nullptr;
    }
    --gCClientCount;
}

void CClient::Attach(HANDLE newHandle, uint32_t newFamily, uint32_t newMaxReceiveSize,
                     bool newDisableNagle) {
    handle = newHandle;
    family = newFamily;
    maxReceiveSize = newMaxReceiveSize;
    disableNagle = newDisableNagle ? 1 : 0;
    free(receiveBase);
    receiveBase = static_cast<uint8_t*>(malloc(InitialReceiveCapacity));
    receiveCapacity = InitialReceiveCapacity;
    receiveEnd = receiveNext = receiveBase;
    closeReason = 0;
    memset(&readContext.overlapped, 0, sizeof(OVERLAPPED));
    memset(&writeContext.overlapped, 0, sizeof(OVERLAPPED));
    writeData = nullptr;
    readContext.owner = this;
    readContext.isWrite = 0;
    writeContext.owner = this;
    writeContext.isWrite = 1;
    state = 0;
    if (!receiveRecord)
        receiveRecord = new ReceiveRecord();
    if (!stateLockReady) {
        InitializeCriticalSection(&stateLock);
        stateLockReady = true;
    }
}

void CClient::ClearSendQueue() {
    PacketRecord* head;
    {
        LockGuard guard(sendQueueLock);
        head = sendQueue.TakeAll();
    }
    while (head) {
        PacketRecord* next = head->next;
        FreePacketRecord(head);
        head = next;
    }
}

uint32_t CClient::SendQueueCount() {
    LockGuard guard(sendQueueLock);
    return sendQueue.count;
}

void CClient::DropWrites() {
    ClearSendQueue();
    LockGuard guard(stateLockReady ? &stateLock : nullptr);
    free(writeData);
    writeData = nullptr;
    writeInFlight = 0;
}

void CClient::Reset() {
    ClearSendQueue();
    {
        LockGuard guard(stateLockReady ? &stateLock : nullptr);
        free(writeData);
        writeData = nullptr;
        writeInFlight = 0;
        serial = NextConnectionSerial();
    }
    receiveEnd = receiveNext = receiveBase;
    if (kind == KindPipe) {
        writeContext.overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!writeContext.overlapped.hEvent)
            PrintConsole("CreateEvent failed with %d.\n", static_cast<int>(GetLastError()));
        readContext.overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!readContext.overlapped.hEvent)
            PrintConsole("CreateEvent failed with %d.\n", static_cast<int>(GetLastError()));
    }
}

void CClient::Close(uint32_t reason, uint32_t code) {
    LockGuard guard(stateLockReady ? &stateLock : nullptr);
    uint32_t oldState = state;
    state = 0;
    serial = 0;
    if (oldState != 0) {
        if (kind == KindSocket) {
            if (reason != 0) {
                systemError = static_cast<uint32_t>(WSAGetLastError());
                closeCode = code;
            }
            SOCKET socket = reinterpret_cast<SOCKET>(handle);
            if (oldState == 2) {
                shutdown(socket, SD_BOTH);
                CancelIo(handle);
            }
            closesocket(socket);
            handle = INVALID_HANDLE_VALUE;
        } else {
            if (reason != 0) {
                systemError = GetLastError();
                closeCode = code;
            }
            if (handle != INVALID_HANDLE_VALUE)
                CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
            for (IoContext* context : {&readContext, &writeContext}) {
                HANDLE event = context->overlapped.hEvent;
                if (event && event != INVALID_HANDLE_VALUE)
                    CloseHandle(event);
                context->overlapped.hEvent = INVALID_HANDLE_VALUE;
            }
        }
    }
    // A close with a reason after the first one keeps the first reason, so
    // the code the API reports and the reason always belong together.
    if (closeReason.load() == 0 || reason == 0)
        closeReason = reason;
}

int CClient::OnPacket(ReceiveRecord*) {
    return 0;
}

void CClient::Release() {
    if (refCount.fetch_sub(1) == 1)
        delete this;
}

void CClient::FreeBuffers() {
    ClearSendQueue();
    free(writeData);
    writeData = nullptr;
    free(receiveBase);
    receiveBase = receiveEnd = receiveNext = nullptr;
    if (receiveRecord) {
        free(receiveRecord->bytes);
        delete receiveRecord;
        receiveRecord = nullptr;
    }
    if (stateLockReady) {
        DeleteCriticalSection(&stateLock);
        stateLockReady = false;
    }
}

void CClient::CloseForIoError(uint32_t reason, DWORD error) {
    uint32_t code = NormaliseStatus(error);
    uint32_t statusReason;
    ReasonForStatus(code, statusReason, code);
    Close(statusReason == CloseOtherStatus ? reason : statusReason, code);
}

bool CClient::IssueIo(IoContext& context, WSABUF& buffer, uint8_t* data, DWORD length,
                      DWORD& error) {
    HANDLE event = context.overlapped.hEvent;
    memset(&context.overlapped, 0, sizeof(OVERLAPPED));
    context.overlapped.hEvent = event;
    buffer.buf = reinterpret_cast<char*>(data);
    buffer.len = length;
    AddRef();
    error = 0;
    if (kind == KindPipe) {
        BOOL done = context.isWrite ? WriteFile(handle, data, length, nullptr, &context.overlapped)
                                    : ReadFile(handle, data, length, nullptr, &context.overlapped);
        return done || (error = GetLastError()) == ERROR_IO_PENDING;
    }
    SOCKET socket = reinterpret_cast<SOCKET>(handle);
    DWORD transferred = 0;
    DWORD flags = 0;
    int result =
        context.isWrite
            ? WSASend(socket, &buffer, 1, &transferred, 0, &context.overlapped, nullptr)
            : WSARecv(socket, &buffer, 1, &transferred, &flags, &context.overlapped, nullptr);
    return result == 0 || (error = WSAGetLastError()) == WSA_IO_PENDING;
}

void CClient::StartRead() {
    LockGuard guard(stateLockReady ? &stateLock : nullptr);
    if (state != 2)
        return;
    DWORD length = static_cast<DWORD>(receiveCapacity - (receiveEnd - receiveBase));
    DWORD error = 0;
    if (!IssueIo(readContext, readBuffer, receiveEnd, length, error)) {
        // Nothing will ever complete: the connection is lost, say so.
        Release();
        CloseForIoError(CloseReadFailed, error);
    }
}

bool CClient::QueueSend(PacketRecord* record) {
    LockGuard guard(stateLockReady ? &stateLock : nullptr);
    if (state != 2) {
        FreePacketRecord(record);
        return false;
    }
    {
        LockGuard queueGuard(sendQueueLock);
        sendQueue.Push(record);
    }
    SendNext(false);
    return true;
}

// Called with the state lock held.
bool CClient::SendNext(bool force) {
    if (!force && writeInFlight)
        return false;
    free(writeData);
    writeData = nullptr;
    PacketRecord* record;
    {
        LockGuard queueGuard(sendQueueLock);
        record = sendQueue.Pop();
    }
    if (!record) {
        if (force)
            writeInFlight = 0;
        return false;
    }
    writeData = record->bytes;
    uint32_t size = record->size;
    record->bytes = nullptr;
    FreePacketRecord(record);
    if (state != 2) {
        writeInFlight = 0;
        return false;
    }
    DWORD error = 0;
    if (!IssueIo(writeContext, writeBuffer, writeData, size, error)) {
        // No completion will start the next write: close the connection so
        // requests report the loss instead of queueing forever.
        Release();
        writeInFlight = 0;
        CloseForIoError(CloseWriteFailed, error);
        return false;
    }
    writeInFlight = 1;
    return true;
}

void CClient::AdvanceReceived(DWORD bytes) {
    receiveEnd += bytes;
}

void CClient::DropReceiveRecord() {
    free(receiveRecord->bytes);
    receiveRecord->bytes = nullptr;
    receiveRecord->capacity = 0;
    receiveRecord->size = 0;
}

// Makes room at the tail when the buffer is full: moves the unread bytes to
// the base, or grows the buffer when one packet fills it. False when the
// packet can never fit.
bool CClient::MakeReceiveRoom() {
    if (receiveEnd != receiveBase + receiveCapacity)
        return true;
    if (receiveNext != receiveBase) {
        size_t unread = static_cast<size_t>(receiveEnd - receiveNext);
        memmove(receiveBase, receiveNext, unread);
        receiveNext = receiveBase;
        receiveEnd = receiveBase + unread;
        return true;
    }
    if (receiveCapacity >= MaxReceiveCapacity)
        return false;
    int32_t newCapacity = receiveCapacity + ReceiveGrowStep;
    uint8_t* grown = static_cast<uint8_t*>(malloc(static_cast<size_t>(newCapacity)));
    if (!grown)
        return false;
    size_t used = static_cast<size_t>(receiveEnd - receiveBase);
    memcpy(grown, receiveBase, used);
    free(receiveBase);
    receiveBase = receiveNext = grown;
    receiveEnd = grown + used;
    receiveCapacity = newCapacity;
    return true;
}

int CClient::ExtractPacket(ReceiveRecord* record) {
    uint32_t unread = static_cast<uint32_t>(receiveEnd - receiveNext);
    if (unread >= 4) {
        uint32_t size;
        memcpy(&size, receiveNext, 4);
        if (size > maxReceiveSize)
            return ExtractTooLarge;
        if (size < 4)
            return ExtractTooSmall;
        if (size > record->capacity) {
            free(record->bytes);
            record->bytes = static_cast<uint8_t*>(malloc(size));
            record->capacity = record->bytes ? size : 0;
            if (!record->bytes)
                return ExtractNoMemory;
        }
        record->size = static_cast<int32_t>(size);
        if (unread >= size) {
            memcpy(record->bytes, receiveNext, size);
            receiveNext += size;
            if (receiveNext == receiveEnd)
                receiveNext = receiveEnd = receiveBase;
            uint32_t rest = static_cast<uint32_t>(receiveEnd - receiveNext);
            if (rest >= 4) {
                uint32_t nextSize;
                memcpy(&nextSize, receiveNext, 4);
                if (nextSize <= rest)
                    return ExtractPacketReady;
            }
            MakeReceiveRoom();
            return ExtractPacketReady;
        }
    }
    if (!MakeReceiveRoom()) {
        // A packet larger than the buffer can ever grow: refuse it.
        DropReceiveRecord();
        return receiveCapacity >= MaxReceiveCapacity ? ExtractTooLarge : ExtractNoMemory;
    }
    return ExtractNeedMore;
}

void CClient::OnCompletion(DWORD rawStatus, DWORD bytes, IoContext* context) {
    uint32_t status = NormaliseStatus(rawStatus);
    if (status != 0 && !(status == StatusBufferOverflow && kind == KindPipe)) {
        uint32_t reason, code;
        ReasonForStatus(status, reason, code);
        Close(reason, code);
        Release();
        return;
    }
    if (bytes == 0) {
        Close(ClosePeerClosed, CodePeerClosed);
        Release();
        return;
    }
    if (context->isWrite) {
        if (state == 2) {
            LockGuard guard(stateLockReady ? &stateLock : nullptr);
            SendNext(true);
        }
        Release();
        return;
    }
    AdvanceReceived(bytes);
    for (;;) {
        int result = ExtractPacket(receiveRecord);
        if (result == ExtractPacketReady) {
            OnPacket(receiveRecord);
            continue;
        }
        if (result == ExtractTooLarge)
            Close(CloseTooLarge, CodeAbort);
        else if (result == ExtractTooSmall)
            Close(CloseTooSmall, CodeAbort);
        else if (result == ExtractNoMemory)
            Close(CloseNoMemory, CodeOutOfMemory);
        else if (state == 2)
            StartRead();
        break;
    }
    Release();
}

VOID CALLBACK IoCompletion(DWORD status, DWORD bytes, LPOVERLAPPED overlapped) {
    if (!overlapped)
        return;
    IoContext* context = CONTAINING_RECORD(overlapped, IoContext, overlapped);
    context->owner->OnCompletion(status, bytes, context);
}

} // namespace simconnect
