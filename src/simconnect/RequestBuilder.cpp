#include "simconnect/RequestBuilder.h"

namespace simconnect {

HRESULT ReserveFailure(ClientClient* client, int reserveResult) {
    if (reserveResult == ReserveClosed) {
        uint32_t code = 0;
        client->GetCloseStatus(nullptr, &code);
        return static_cast<HRESULT>(code);
    }
    return E_FAIL;
}

RequestBuilder::RequestBuilder(HANDLE handle, uint32_t size, uint32_t requestNumber)
    : client(FromHandle(handle)), size(size) {
    if (!client) {
        status = E_FAIL;
        return;
    }
    int reserved = client->ReservePacket(size, &space);
    if (reserved != Reserved) {
        status = ReserveFailure(client, reserved);
        space = nullptr;
        return;
    }
    uint32_t header[3] = {size, ProtocolVersion, RequestIdBase | requestNumber};
    memcpy(space, header, sizeof(header));
}

RequestBuilder& RequestBuilder::Raw(const void* bytes, uint32_t count) {
    if (space && !tooLong && offset + count <= size) {
        if (bytes)
            memcpy(space + offset, bytes, count);
    }
    offset += count;
    return *this;
}

RequestBuilder& RequestBuilder::Str(const char* text, uint32_t fieldSize) {
    if (space && !tooLong && offset + fieldSize <= size) {
        size_t length = text ? strnlen(text, fieldSize) : 0;
        if (length >= fieldSize)
            tooLong = true;
        else if (length > 0)
            memcpy(space + offset, text, length);
    }
    offset += fieldSize;
    return *this;
}

HRESULT RequestBuilder::Send() {
    if (!space)
        return status;
    if (tooLong) {
        client->ReleasePacket(space, size);
        return StringTooLong;
    }
    client->Flush();
    return S_OK;
}

HRESULT RequestBuilder::SendNow() {
    if (!space)
        return status;
    if (tooLong) {
        client->ReleasePacket(space, size);
        return StringTooLong;
    }
    return client->SendBuffer() == 0 ? S_OK : E_FAIL;
}

} // namespace simconnect
