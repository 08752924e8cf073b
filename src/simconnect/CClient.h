#pragma once

// Transport base of a simulator connection: one connected named pipe or TCP
// socket with overlapped reads and writes completing on thread-pool threads,
// the queue of packets to write and the framing of the received byte stream.

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>

namespace simconnect {

// One packet in the send queue or the receive queue.
struct PacketRecord {
    PacketRecord* next = nullptr;
    uint8_t* bytes = nullptr;
    uint32_t size = 0;
    uint32_t serial = 0;
    uint8_t hostOwned = 0;
};

// A singly linked queue of packets with its count and byte total; the owner
// holds whatever lock guards it.
struct PacketQueue {
    PacketRecord* head = nullptr;
    PacketRecord* tail = nullptr;
    uint32_t count = 0;
    uint32_t bytes = 0;

    void Push(PacketRecord* record);
    // The oldest packet, unlinked, or nullptr when the queue is empty.
    PacketRecord* Pop();
    // The whole chain, oldest first; the queue is left empty.
    PacketRecord* TakeAll();
};

// The packet being cut out of the received stream.
struct ReceiveRecord {
    int32_t size = 0;
    uint32_t capacity = 0;
    uint8_t* bytes = nullptr;
};

class CClient;

struct IoContext {
    OVERLAPPED overlapped;
    CClient* owner;
    uint8_t isWrite;
};

// Close reasons.
constexpr uint32_t CloseOrderly = 0;
constexpr uint32_t CloseTooLarge = 1;
constexpr uint32_t CloseTooSmall = 2;
constexpr uint32_t CloseNoMemory = 3;
constexpr uint32_t ClosePeerClosed = 4;
constexpr uint32_t CloseDisconnected = 5;
constexpr uint32_t CloseWriteFailed = 6;
constexpr uint32_t CloseReadFailed = 7;
constexpr uint32_t CloseCancelled = 8;
constexpr uint32_t CloseOtherStatus = 9;

constexpr uint32_t CodeAbort = 0x80004004;
constexpr uint32_t CodeOutOfMemory = 0x8007000E;
constexpr uint32_t CodePeerClosed = 0xC000013E;
constexpr uint32_t CodeCancelled = 0xC0000120;
constexpr uint32_t StatusRemoteDisconnect = 0xC000013C;
constexpr uint32_t StatusPipeBroken = 0xC000014B;
constexpr uint32_t StatusConnectionReset = 0xC000020D;
constexpr uint32_t StatusBufferOverflow = 0x80000005;

constexpr uint32_t KindSocket = 0;
constexpr uint32_t KindPipe = 1;

constexpr int32_t InitialReceiveCapacity = 2048;
constexpr int32_t ReceiveGrowStep = 2048;
constexpr int32_t MaxReceiveCapacity = 0x100000;

// Results of CClient::ExtractPacket.
enum ExtractResult {
    ExtractPacketReady = 0,
    ExtractNeedMore,
    ExtractTooLarge,
    ExtractTooSmall,
    ExtractNoMemory
};

// Process-wide counts of live objects and the Winsock flag.
extern std::atomic<long> gCClientCount;
extern std::atomic<long> gClientClientCount;
extern std::atomic<bool> gWinsockStarted;

void FreePacketRecord(PacketRecord* record);

class CClient {
public:
    explicit CClient(uint32_t kind);
    virtual ~CClient();
    CClient(const CClient&) = delete;
    CClient& operator=(const CClient&) = delete;

    virtual void Reset();
    virtual void Close(uint32_t reason, uint32_t code);
    virtual int OnPacket(ReceiveRecord* record);
    virtual void OnDataBeforeOpen() {}

    void Attach(HANDLE handle, uint32_t family, uint32_t maxReceiveSize, bool disableNagle);
    void StartRead();
    bool QueueSend(PacketRecord* record);
    bool SendNext(bool force);
    int ExtractPacket(ReceiveRecord* record);
    bool IsClosed() const { return closeReason.load() != 0; }
    void AddRef() { refCount.fetch_add(1); }
    void Release();
    void ClearSendQueue();
    void FreeBuffers();
    void DropWrites();

    // Completion of one overlapped read or write.
    void OnCompletion(DWORD status, DWORD bytes, IoContext* context);

    uint32_t Kind() const { return kind; }
    uint32_t State() const { return state; }
    uint32_t Serial() const { return serial; }
    uint32_t CloseReason() const { return closeReason.load(); }
    uint32_t CloseCode() const { return closeCode; }
    uint32_t SystemError() const { return systemError; }
    uint32_t MaxReceiveSize() const { return maxReceiveSize; }
    int32_t ReceiveCapacity() const { return receiveCapacity; }
    uint32_t SendQueueCount();

protected:
    void AdvanceReceived(DWORD bytes);
    bool MakeReceiveRoom();
    void DropReceiveRecord();
    void CloseForIoError(uint32_t reason, DWORD error);
    // Starts one overlapped read or write (by context.isWrite) of length bytes
    // at data, holding a reference for its completion. False, with the error
    // in error, when nothing will complete.
    bool IssueIo(IoContext& context, WSABUF& buffer, uint8_t* data, DWORD length, DWORD& error);

    HANDLE handle = INVALID_HANDLE_VALUE;
    volatile uint32_t state = 0;
    uint32_t systemError = 0;
    uint32_t closeCode = 0;
    uint32_t kind;

    CRITICAL_SECTION* sendQueueLock = nullptr;
    PacketQueue sendQueue;
    uint8_t writeInFlight = 0;

    uint8_t* receiveBase = nullptr;
    uint8_t* receiveEnd = nullptr;
    uint8_t* receiveNext = nullptr;
    int32_t receiveCapacity = InitialReceiveCapacity;

    CRITICAL_SECTION stateLock;
    bool stateLockReady = false;

    ReceiveRecord* receiveRecord = nullptr;
    uint32_t family = 0;
    uint8_t disableNagle = 0;

    IoContext readContext;
    IoContext writeContext;
    WSABUF readBuffer{};
    WSABUF writeBuffer{};
    uint8_t* writeData = nullptr;

    volatile uint32_t serial = 0;
    uint32_t maxReceiveSize = 1024;
    std::atomic<long> refCount{1};
    std::atomic<uint32_t> closeReason{0};
};

// Routine bound to every stream with BindIoCompletionCallback.
VOID CALLBACK IoCompletion(DWORD status, DWORD bytes, LPOVERLAPPED overlapped);

// Takes the next connection serial (never 0).
uint32_t NextConnectionSerial();

// Formatted text to standard output.
void PrintConsole(const char* format, ...);

} // namespace simconnect
