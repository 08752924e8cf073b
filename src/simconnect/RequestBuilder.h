#pragma once

// Builds one request packet in a connection's send buffer: reserve, header,
// fields in order without alignment, then hand it to the transport.

#include "simconnect/ClientClient.h"

#include <cstdint>
#include <cstring>

namespace simconnect {

constexpr uint32_t ProtocolVersion = 5;
constexpr uint32_t RequestIdBase = 0xF0000000;
constexpr HRESULT StringTooLong = static_cast<HRESULT>(0x8007007A);

class RequestBuilder {
public:
    RequestBuilder(HANDLE handle, uint32_t size, uint32_t requestNumber);

    RequestBuilder& U32(uint32_t value) { return Raw(&value, 4); }
    RequestBuilder& I32(int32_t value) { return Raw(&value, 4); }
    RequestBuilder& F32(float value) { return Raw(&value, 4); }
    RequestBuilder& F64(double value) { return Raw(&value, 8); }
    // A NUL-terminated string in a fixed array of fieldSize bytes.
    RequestBuilder& Str(const char* text, uint32_t fieldSize);
    RequestBuilder& Raw(const void* bytes, uint32_t count);

    // Result of the whole request.
    HRESULT Send();
    // For requests sent at once rather than by the auto-flush.
    HRESULT SendNow();
    HRESULT Status() const { return status; }

private:
    ClientClient* client;
    uint8_t* space = nullptr;
    uint32_t size;
    uint32_t offset = 16;
    HRESULT status = S_OK;
    bool tooLong = false;
};

// The result a request returns when its reservation fails.
HRESULT ReserveFailure(ClientClient* client, int reserveResult);

} // namespace simconnect
