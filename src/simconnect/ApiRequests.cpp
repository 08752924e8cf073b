// The requests the program itself sends.

#include "simconnect/RequestBuilder.h"
#include "simconnect/SimConnect.h"

using namespace simconnect;

namespace {
constexpr uint32_t NameSize = 256;
}

SIMCONNECTAPI SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect,
                                                  SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                  const char* EventName) {
    return RequestBuilder(hSimConnect, 276, 0x04).U32(EventID).Str(EventName, NameSize).Send();
}

SIMCONNECTAPI SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                             SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                             SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                             SIMCONNECT_EVENT_FLAG Flags) {
    return RequestBuilder(hSimConnect, 36, 0x05)
        .U32(ObjectID)
        .U32(EventID)
        .U32(dwData)
        .U32(GroupID)
        .U32(Flags)
        .Send();
}

SIMCONNECTAPI SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect,
                                                           SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                           SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                           BOOL bMaskable) {
    return RequestBuilder(hSimConnect, 28, 0x07)
        .U32(GroupID)
        .U32(EventID)
        .U32(static_cast<uint32_t>(bMaskable))
        .Send();
}

SIMCONNECTAPI SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect,
                                                      SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                      DWORD uPriority) {
    return RequestBuilder(hSimConnect, 24, 0x09).U32(GroupID).U32(uPriority).Send();
}

SIMCONNECTAPI SimConnect_ClearNotificationGroup(HANDLE hSimConnect,
                                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID) {
    return RequestBuilder(hSimConnect, 20, 0x0A).U32(GroupID).Send();
}

SIMCONNECTAPI SimConnect_AddToDataDefinition(HANDLE hSimConnect,
                                             SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                             const char* DatumName, const char* UnitsName,
                                             SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                             DWORD DatumID) {
    return RequestBuilder(hSimConnect, 544, 0x0C)
        .U32(DefineID)
        .Str(DatumName, NameSize)
        .Str(UnitsName, NameSize)
        .U32(static_cast<uint32_t>(DatumType))
        .F32(fEpsilon)
        .U32(DatumID)
        .Send();
}

SIMCONNECTAPI SimConnect_ClearDataDefinition(HANDLE hSimConnect,
                                             SIMCONNECT_DATA_DEFINITION_ID DefineID) {
    return RequestBuilder(hSimConnect, 20, 0x0D).U32(DefineID).Send();
}

SIMCONNECTAPI SimConnect_RequestDataOnSimObject(
    HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
    SIMCONNECT_DATA_DEFINITION_ID DefineID, SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
    SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin, DWORD interval, DWORD limit) {
    return RequestBuilder(hSimConnect, 48, 0x0E)
        .U32(RequestID)
        .U32(DefineID)
        .U32(ObjectID)
        .U32(static_cast<uint32_t>(Period))
        .U32(Flags)
        .U32(origin)
        .U32(interval)
        .U32(limit)
        .Send();
}

SIMCONNECTAPI SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect,
                                                SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                const char* SystemEventName) {
    return RequestBuilder(hSimConnect, 276, 0x17)
        .U32(EventID)
        .Str(SystemEventName, NameSize)
        .Send();
}

SIMCONNECTAPI SimConnect_UnsubscribeFromSystemEvent(HANDLE hSimConnect,
                                                    SIMCONNECT_CLIENT_EVENT_ID EventID) {
    return RequestBuilder(hSimConnect, 20, 0x18).U32(EventID).Send();
}

SIMCONNECTAPI SimConnect_RequestSystemState(HANDLE hSimConnect,
                                            SIMCONNECT_DATA_REQUEST_ID RequestID,
                                            const char* szState) {
    return RequestBuilder(hSimConnect, 276, 0x35).U32(RequestID).Str(szState, NameSize).Send();
}

SIMCONNECTAPI SimConnect_MapClientDataNameToID(HANDLE hSimConnect, const char* szClientDataName,
                                               SIMCONNECT_CLIENT_DATA_ID ClientDataID) {
    return RequestBuilder(hSimConnect, 276, 0x37)
        .Str(szClientDataName, NameSize)
        .U32(ClientDataID)
        .Send();
}

SIMCONNECTAPI SimConnect_AddToClientDataDefinition(HANDLE hSimConnect,
                                                   SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID,
                                                   DWORD dwOffset, DWORD dwSizeOrType,
                                                   float fEpsilon, DWORD DatumID) {
    return RequestBuilder(hSimConnect, 36, 0x39)
        .U32(DefineID)
        .U32(dwOffset)
        .U32(dwSizeOrType)
        .F32(fEpsilon)
        .U32(DatumID)
        .Send();
}

SIMCONNECTAPI SimConnect_SetClientData(HANDLE hSimConnect, SIMCONNECT_CLIENT_DATA_ID ClientDataID,
                                       SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID, DWORD Flags,
                                       DWORD dwReserved, DWORD cbUnitSize, void* pDataSet) {
    if (cbUnitSize > 0xFFFFFFFFu - 36)
        return E_FAIL;
    return RequestBuilder(hSimConnect, 36 + cbUnitSize, 0x3C)
        .U32(ClientDataID)
        .U32(DefineID)
        .U32(Flags)
        .U32(dwReserved)
        .U32(cbUnitSize)
        .Raw(pDataSet, cbUnitSize)
        .Send();
}
