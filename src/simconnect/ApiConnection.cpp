// Opening and closing a connection, taking received packets, and the
// send-id query.

#include "simconnect/ClientTransport.h"
#include "simconnect/RequestBuilder.h"
#include "simconnect/SimConnect.h"

using namespace simconnect;

namespace {

constexpr uint32_t OpenRequest = 0x01;
constexpr uint32_t OpenSize = 296;
constexpr uint32_t ResponseTimesRequest = 0x03;
constexpr uint32_t ResponseTimesSize = 20;
constexpr DWORD ResponseTimesReplyId = 0x10001;

// The client's protocol identification sent with every open request.
constexpr uint32_t OpenIdentification[6] = {0, 0x004B4800, 11, 0, 62651, 3};

HRESULT CloseCode(ClientClient* client) {
    uint32_t code = 0;
    client->GetCloseStatus(nullptr, &code);
    return static_cast<HRESULT>(code);
}

struct ResponseTimesState {
    bool seen = false;
    LONGLONG serverReceived = 0;
    LONGLONG serverSent = 0;
};

void CALLBACK ResponseTimesDispatch(SIMCONNECT_RECV* data, DWORD size, void* context) {
    auto* times = static_cast<ResponseTimesState*>(context);
    if (data->dwID != ResponseTimesReplyId || size < 44)
        return;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data);
    memcpy(&times->serverReceived, bytes + 28, 8);
    memcpy(&times->serverSent, bytes + 36, 8);
    times->seen = true;
}

} // namespace

SIMCONNECTAPI SimConnect_Open(HANDLE* phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32,
                              HANDLE hEventHandle, DWORD ConfigIndex) {
    if (!phSimConnect)
        return E_FAIL;
    *phSimConnect = nullptr;
    ClientClient* client = nullptr;
    int opened = OpenClientTransport(&client, ConfigIndex);
    if (opened == TransportNoSection)
        return E_INVALIDARG;
    if (opened != TransportConnected || !client)
        return E_FAIL;
    *phSimConnect = client;
    client->SetNotification(nullptr, hWnd, UserEventWin32, hEventHandle);
    RequestBuilder request(client, OpenSize, OpenRequest);
    request.Str(szName, 256);
    for (uint32_t word : OpenIdentification)
        request.U32(word);
    HRESULT result = request.SendNow();
    if (result != S_OK) {
        DestroyClient(client);
        *phSimConnect = nullptr;
    }
    return result;
}

SIMCONNECTAPI SimConnect_Close(HANDLE hSimConnect) {
    ClientClient* client = FromHandle(hSimConnect);
    if (!client)
        return E_FAIL;
    client->SendBuffer();
    DestroyClient(client);
    return S_OK;
}

SIMCONNECTAPI SimConnect_GetNextDispatch(HANDLE hSimConnect, SIMCONNECT_RECV** ppData,
                                         DWORD* pcbData) {
    SIMCONNECT_RECV* packet = nullptr;
    DWORD size = 0;
    if (ppData)
        *ppData = nullptr;
    if (pcbData)
        *pcbData = 0;
    ClientClient* client = FromHandle(hSimConnect);
    if (!client || !ppData || !pcbData)
        return E_FAIL;
    int result = client->GetNextPacket(&packet, &size);
    if (result == QueuePacket) {
        *ppData = packet;
        *pcbData = size;
        return S_OK;
    }
    if (result == QueueClosed)
        return CloseCode(client);
    return E_FAIL;
}

SIMCONNECTAPI SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch,
                                      void* pContext) {
    ClientClient* client = FromHandle(hSimConnect);
    if (!client) {
        if (reinterpret_cast<intptr_t>(pfcnDispatch) == -2 &&
            reinterpret_cast<intptr_t>(pContext) == -3)
            DispatchAllClients();
        return E_FAIL;
    }
    int result = client->DispatchAll(pfcnDispatch, pContext);
    if (result == QueuePacket)
        return S_OK;
    if (result == QueueClosed)
        return CloseCode(client);
    return E_FAIL;
}

SIMCONNECTAPI SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID) {
    ClientClient* client = FromHandle(hSimConnect);
    if (!client || !pdwSendID)
        return E_FAIL;
    *pdwSendID = client->LastSendID();
    return S_OK;
}

SIMCONNECTAPI SimConnect_RequestResponseTimes(HANDLE hSimConnect, DWORD nCount,
                                              float* fElapsedSeconds) {
    ClientClient* client = FromHandle(hSimConnect);
    if (!client || !fElapsedSeconds)
        return E_FAIL;
    for (DWORD i = 0; i < nCount; ++i)
        fElapsedSeconds[i] = 0.0f;
    LARGE_INTEGER frequency, start, sent, end;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart == 0)
        return E_FAIL;
    QueryPerformanceCounter(&start);
    HRESULT result =
        RequestBuilder(client, ResponseTimesSize, ResponseTimesRequest).U32(nCount).SendNow();
    if (result != S_OK)
        return E_FAIL;
    if (nCount == 0)
        return S_OK;
    QueryPerformanceCounter(&sent);
    ResponseTimesState times;
    while (!times.seen) {
        if (client->DispatchAll(ResponseTimesDispatch, &times) != QueuePacket)
            break;
        if (!times.seen)
            Sleep(0);
    }
    QueryPerformanceCounter(&end);
    const double ticks = static_cast<double>(frequency.QuadPart);
    const float values[5] = {static_cast<float>((end.QuadPart - start.QuadPart) / ticks),
                             static_cast<float>((sent.QuadPart - start.QuadPart) / ticks),
                             static_cast<float>((times.serverReceived - start.QuadPart) / ticks),
                             static_cast<float>((times.serverSent - start.QuadPart) / ticks),
                             static_cast<float>((end.QuadPart - times.serverSent) / ticks)};
    for (DWORD i = 0; i < nCount && i < 5; ++i)
        fElapsedSeconds[i] = values[i];
    return S_OK;
}
