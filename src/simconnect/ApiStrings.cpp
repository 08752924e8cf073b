// Variable-length strings inside packets: no connection involved.

#include "simconnect/SimConnect.h"

#include <cstdint>
#include <cstring>

SIMCONNECTAPI SimConnect_InsertString(char* pDest, DWORD cbDest, void** ppEnd, DWORD* pcbStringV,
                                      const char* pSource) {
    if (!pDest || !pSource || cbDest == 0)
        return E_FAIL;
    if (cbDest >= 0x80000000u)
        return E_INVALIDARG;
    size_t length = strnlen(pSource, cbDest);
    if (length >= cbDest)
        return E_INVALIDARG;
    DWORD withNul = static_cast<DWORD>(length) + 1;
    DWORD padding = (4 - withNul % 4) % 4;
    if (cbDest - length <= padding)
        return E_FAIL;
    memcpy(pDest, pSource, withNul);
    memset(pDest + withNul, 0, padding);
    if (ppEnd)
        *ppEnd = pDest + withNul + padding;
    if (pcbStringV)
        *pcbStringV = withNul + padding;
    return S_OK;
}

SIMCONNECTAPI SimConnect_RetrieveString(SIMCONNECT_RECV* pData, DWORD cbData, void* pStringV,
                                        char** ppszString, DWORD* pcbString) {
    if (!pData || cbData == 0 || !pStringV || !ppszString)
        return E_FAIL;
    *ppszString = nullptr;
    if (pcbString)
        *pcbString = 0;
    const char* start = static_cast<const char*>(pStringV);
    uint32_t available = static_cast<uint32_t>(
        cbData - static_cast<uint32_t>(start - reinterpret_cast<const char*>(pData)));
    if (available >= 0x80000000u)
        return E_FAIL;
    const void* nul = memchr(start, 0, available);
    if (!nul)
        return E_FAIL;
    uint32_t length = static_cast<uint32_t>(static_cast<const char*>(nul) - start);
    *ppszString = const_cast<char*>(start);
    if (pcbString)
        *pcbString = (length & ~3u) + 4;
    return S_OK;
}
