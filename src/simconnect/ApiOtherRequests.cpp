// The rest of the request family: AI objects, flights, menus, input groups,
// facilities, weather and the like. Each builds one packet.

#include "simconnect/RequestBuilder.h"
#include "simconnect/SimConnect.h"

using namespace simconnect;

namespace {
constexpr uint32_t NameSize = 256;
constexpr uint32_t PathSize = 260;
constexpr uint32_t TailSize = 12;
constexpr uint32_t StationSize = 5;
constexpr uint32_t KeySize = 30;
constexpr uint32_t DescriptionSize = 2048;
constexpr size_t MetarLimit = 2000;

RequestBuilder& InitPosition(RequestBuilder& request, const SIMCONNECT_DATA_INITPOSITION& p) {
    return request.Raw(&p, sizeof(p));
}
} // namespace

// AI objects

SIMCONNECTAPI SimConnect_AICreateParkedATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                                   const char* szTailNumber,
                                                   const char* szAirportID,
                                                   SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return RequestBuilder(hSimConnect, 293, 0x27)
        .Str(szContainerTitle, NameSize)
        .Str(szTailNumber, TailSize)
        .Str(szAirportID, StationSize)
        .U32(RequestID)
        .Send();
}

SIMCONNECTAPI SimConnect_AICreateEnrouteATCAircraft(HANDLE hSimConnect,
                                                    const char* szContainerTitle,
                                                    const char* szTailNumber, int iFlightNumber,
                                                    const char* szFlightPlanPath,
                                                    double dFlightPlanPosition, BOOL bTouchAndGo,
                                                    SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return RequestBuilder(hSimConnect, 564, 0x28)
        .Str(szContainerTitle, NameSize)
        .Str(szTailNumber, TailSize)
        .I32(iFlightNumber)
        .Str(szFlightPlanPath, PathSize)
        .F64(dFlightPlanPosition)
        .U32(static_cast<uint32_t>(bTouchAndGo))
        .U32(RequestID)
        .Send();
}

SIMCONNECTAPI SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                                const char* szTailNumber,
                                                SIMCONNECT_DATA_INITPOSITION InitPos,
                                                SIMCONNECT_DATA_REQUEST_ID RequestID) {
    RequestBuilder request(hSimConnect, 344, 0x29);
    request.Str(szContainerTitle, NameSize).Str(szTailNumber, TailSize);
    return InitPosition(request, InitPos).U32(RequestID).Send();
}

SIMCONNECTAPI SimConnect_AICreateSimulatedObject(HANDLE hSimConnect, const char* szContainerTitle,
                                                 SIMCONNECT_DATA_INITPOSITION InitPos,
                                                 SIMCONNECT_DATA_REQUEST_ID RequestID) {
    RequestBuilder request(hSimConnect, 332, 0x2A);
    request.Str(szContainerTitle, NameSize);
    return InitPosition(request, InitPos).U32(RequestID).Send();
}

SIMCONNECTAPI SimConnect_AIReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                          SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return RequestBuilder(hSimConnect, 24, 0x2B).U32(ObjectID).U32(RequestID).Send();
}

SIMCONNECTAPI SimConnect_AIRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                        SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return RequestBuilder(hSimConnect, 24, 0x2C).U32(ObjectID).U32(RequestID).Send();
}

SIMCONNECTAPI SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                                 const char* szFlightPlanPath,
                                                 SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return RequestBuilder(hSimConnect, 284, 0x2D)
        .U32(ObjectID)
        .Str(szFlightPlanPath, PathSize)
        .U32(RequestID)
        .Send();
}

// Camera, client data, input groups, missions

SIMCONNECTAPI SimConnect_CameraSetRelative6DOF(HANDLE hSimConnect, float fDeltaX, float fDeltaY,
                                               float fDeltaZ, float fPitchDeg, float fBankDeg,
                                               float fHeadingDeg) {
    return RequestBuilder(hSimConnect, 40, 0x30)
        .F32(fDeltaX)
        .F32(fDeltaY)
        .F32(fDeltaZ)
        .F32(fPitchDeg)
        .F32(fBankDeg)
        .F32(fHeadingDeg)
        .Send();
}

SIMCONNECTAPI SimConnect_ClearClientDataDefinition(HANDLE hSimConnect,
                                                   SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID) {
    return RequestBuilder(hSimConnect, 20, 0x3A).U32(DefineID).Send();
}

SIMCONNECTAPI SimConnect_ClearInputGroup(HANDLE hSimConnect, SIMCONNECT_INPUT_GROUP_ID GroupID) {
    return RequestBuilder(hSimConnect, 20, 0x14).U32(GroupID).Send();
}

SIMCONNECTAPI SimConnect_CompleteCustomMissionAction(HANDLE hSimConnect,
                                                     const GUID guidInstanceId) {
    return RequestBuilder(hSimConnect, 32, 0x2F).Raw(&guidInstanceId, 16).Send();
}

SIMCONNECTAPI SimConnect_CreateClientData(HANDLE hSimConnect,
                                          SIMCONNECT_CLIENT_DATA_ID ClientDataID, DWORD dwSize,
                                          SIMCONNECT_CREATE_CLIENT_DATA_FLAG Flags) {
    return RequestBuilder(hSimConnect, 28, 0x38).U32(ClientDataID).U32(dwSize).U32(Flags).Send();
}

SIMCONNECTAPI SimConnect_ExecuteMissionAction(HANDLE hSimConnect, const GUID guidInstanceId) {
    return RequestBuilder(hSimConnect, 32, 0x2E).Raw(&guidInstanceId, 16).Send();
}

// Flights

SIMCONNECTAPI SimConnect_FlightLoad(HANDLE hSimConnect, const char* szFileName) {
    return RequestBuilder(hSimConnect, 276, 0x3D).Str(szFileName, PathSize).Send();
}

SIMCONNECTAPI SimConnect_FlightPlanLoad(HANDLE hSimConnect, const char* szFileName) {
    return RequestBuilder(hSimConnect, 276, 0x3F).Str(szFileName, PathSize).Send();
}

SIMCONNECTAPI SimConnect_FlightSave(HANDLE hSimConnect, const char* szFileName, const char* szTitle,
                                    const char* szDescription, DWORD Flags) {
    // The packet is four bytes longer than its fields; the tail stays zero.
    return RequestBuilder(hSimConnect, 2588, 0x3E)
        .Str(szFileName, PathSize)
        .Str(szTitle, NameSize)
        .Str(szDescription, DescriptionSize)
        .U32(Flags)
        .Send();
}

// Input events and menus

SIMCONNECTAPI SimConnect_MapInputEventToClientEvent(
    HANDLE hSimConnect, SIMCONNECT_INPUT_GROUP_ID GroupID, const char* pszInputDefinition,
    SIMCONNECT_CLIENT_EVENT_ID DownEventID, DWORD DownValue, SIMCONNECT_CLIENT_EVENT_ID UpEventID,
    DWORD UpValue, BOOL bMaskable) {
    return RequestBuilder(hSimConnect, 296, 0x11)
        .U32(GroupID)
        .Str(pszInputDefinition, NameSize)
        .U32(DownEventID)
        .U32(DownValue)
        .U32(UpEventID)
        .U32(UpValue)
        .U32(static_cast<uint32_t>(bMaskable))
        .Send();
}

SIMCONNECTAPI SimConnect_MenuAddItem(HANDLE hSimConnect, const char* szMenuItem,
                                     SIMCONNECT_CLIENT_EVENT_ID MenuEventID, DWORD dwData) {
    return RequestBuilder(hSimConnect, 280, 0x31)
        .Str(szMenuItem, NameSize)
        .U32(MenuEventID)
        .U32(dwData)
        .Send();
}

SIMCONNECTAPI SimConnect_MenuAddSubItem(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID MenuEventID,
                                        const char* szMenuItem,
                                        SIMCONNECT_CLIENT_EVENT_ID SubMenuEventID, DWORD dwData) {
    return RequestBuilder(hSimConnect, 284, 0x33)
        .U32(MenuEventID)
        .Str(szMenuItem, NameSize)
        .U32(SubMenuEventID)
        .U32(dwData)
        .Send();
}

SIMCONNECTAPI SimConnect_MenuDeleteItem(HANDLE hSimConnect,
                                        SIMCONNECT_CLIENT_EVENT_ID MenuEventID) {
    return RequestBuilder(hSimConnect, 20, 0x32).U32(MenuEventID).Send();
}

SIMCONNECTAPI SimConnect_MenuDeleteSubItem(HANDLE hSimConnect,
                                           SIMCONNECT_CLIENT_EVENT_ID MenuEventID,
                                           const SIMCONNECT_CLIENT_EVENT_ID SubMenuEventID) {
    return RequestBuilder(hSimConnect, 24, 0x34).U32(MenuEventID).U32(SubMenuEventID).Send();
}

// Client events, groups and data

SIMCONNECTAPI SimConnect_RemoveClientEvent(HANDLE hSimConnect,
                                           SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                           SIMCONNECT_CLIENT_EVENT_ID EventID) {
    return RequestBuilder(hSimConnect, 24, 0x08).U32(GroupID).U32(EventID).Send();
}

SIMCONNECTAPI SimConnect_RemoveInputEvent(HANDLE hSimConnect, SIMCONNECT_INPUT_GROUP_ID GroupID,
                                          const char* pszInputDefinition) {
    return RequestBuilder(hSimConnect, 276, 0x13)
        .U32(GroupID)
        .Str(pszInputDefinition, NameSize)
        .Send();
}

SIMCONNECTAPI SimConnect_RequestClientData(HANDLE hSimConnect,
                                           SIMCONNECT_CLIENT_DATA_ID ClientDataID,
                                           SIMCONNECT_DATA_REQUEST_ID RequestID,
                                           SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID,
                                           SIMCONNECT_CLIENT_DATA_PERIOD Period,
                                           SIMCONNECT_CLIENT_DATA_REQUEST_FLAG Flags, DWORD origin,
                                           DWORD interval, DWORD limit) {
    return RequestBuilder(hSimConnect, 48, 0x3B)
        .U32(ClientDataID)
        .U32(RequestID)
        .U32(DefineID)
        .U32(static_cast<uint32_t>(Period))
        .U32(Flags)
        .U32(origin)
        .U32(interval)
        .U32(limit)
        .Send();
}

SIMCONNECTAPI SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect,
                                                    SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                    SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                    DWORD dwRadiusMeters,
                                                    SIMCONNECT_SIMOBJECT_TYPE type) {
    return RequestBuilder(hSimConnect, 32, 0x0F)
        .U32(RequestID)
        .U32(DefineID)
        .U32(dwRadiusMeters)
        .U32(static_cast<uint32_t>(type))
        .Send();
}

SIMCONNECTAPI SimConnect_RequestFacilitiesList(HANDLE hSimConnect,
                                               SIMCONNECT_FACILITY_LIST_TYPE type,
                                               SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return RequestBuilder(hSimConnect, 24, 0x43)
        .U32(static_cast<uint32_t>(type))
        .U32(RequestID)
        .Send();
}

SIMCONNECTAPI SimConnect_RequestNotificationGroup(HANDLE hSimConnect,
                                                  SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                  DWORD dwReserved, DWORD Flags) {
    return RequestBuilder(hSimConnect, 28, 0x0B).U32(GroupID).U32(dwReserved).U32(Flags).Send();
}

SIMCONNECTAPI SimConnect_RequestReservedKey(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* szKeyChoice1, const char* szKeyChoice2,
                                            const char* szKeyChoice3) {
    return RequestBuilder(hSimConnect, 110, 0x16)
        .U32(EventID)
        .Str(szKeyChoice1, KeySize)
        .Str(szKeyChoice2, KeySize)
        .Str(szKeyChoice3, KeySize)
        .Send();
}

SIMCONNECTAPI SimConnect_SetDataOnSimObject(HANDLE hSimConnect,
                                            SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                            SIMCONNECT_OBJECT_ID ObjectID,
                                            SIMCONNECT_DATA_SET_FLAG Flags, DWORD ArrayCount,
                                            DWORD cbUnitSize, void* pDataSet) {
    DWORD count = ArrayCount == 0 ? 1 : ArrayCount;
    unsigned long long dataSize = static_cast<unsigned long long>(count) * cbUnitSize;
    if (dataSize > 0xFFFFFFFFull - 36)
        return E_FAIL;
    return RequestBuilder(hSimConnect, 36 + static_cast<uint32_t>(dataSize), 0x10)
        .U32(DefineID)
        .U32(ObjectID)
        .U32(Flags)
        .U32(count)
        .U32(cbUnitSize)
        .Raw(pDataSet, static_cast<uint32_t>(dataSize))
        .Send();
}

SIMCONNECTAPI SimConnect_SetInputGroupPriority(HANDLE hSimConnect,
                                               SIMCONNECT_INPUT_GROUP_ID GroupID, DWORD uPriority) {
    return RequestBuilder(hSimConnect, 24, 0x12).U32(GroupID).U32(uPriority).Send();
}

SIMCONNECTAPI SimConnect_SetInputGroupState(HANDLE hSimConnect, SIMCONNECT_INPUT_GROUP_ID GroupID,
                                            DWORD dwState) {
    return RequestBuilder(hSimConnect, 24, 0x15).U32(GroupID).U32(dwState).Send();
}

SIMCONNECTAPI SimConnect_SetSystemEventState(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                             SIMCONNECT_STATE dwState) {
    return RequestBuilder(hSimConnect, 24, 0x06)
        .U32(EventID)
        .U32(static_cast<uint32_t>(dwState))
        .Send();
}

SIMCONNECTAPI SimConnect_SetSystemState(HANDLE hSimConnect, const char* szState, DWORD dwInteger,
                                        float fFloat, const char* szString) {
    return RequestBuilder(hSimConnect, 540, 0x36)
        .Str(szState, NameSize)
        .U32(dwInteger)
        .F32(fFloat)
        .Str(szString, PathSize)
        .Send();
}

// Facilities and text

SIMCONNECTAPI SimConnect_SubscribeToFacilities(HANDLE hSimConnect,
                                               SIMCONNECT_FACILITY_LIST_TYPE type,
                                               SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return RequestBuilder(hSimConnect, 24, 0x41)
        .U32(static_cast<uint32_t>(type))
        .U32(RequestID)
        .Send();
}

SIMCONNECTAPI SimConnect_UnsubscribeToFacilities(HANDLE hSimConnect,
                                                 SIMCONNECT_FACILITY_LIST_TYPE type) {
    return RequestBuilder(hSimConnect, 20, 0x42).U32(static_cast<uint32_t>(type)).Send();
}

SIMCONNECTAPI SimConnect_Text(HANDLE hSimConnect, SIMCONNECT_TEXT_TYPE type, float fTimeSeconds,
                              SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD cbUnitSize,
                              void* pDataSet) {
    if (cbUnitSize > 0xFFFFFFFFu - 32)
        return E_FAIL;
    return RequestBuilder(hSimConnect, 32 + cbUnitSize, 0x40)
        .U32(static_cast<uint32_t>(type))
        .F32(fTimeSeconds)
        .U32(EventID)
        .U32(cbUnitSize)
        .Raw(pDataSet, cbUnitSize)
        .Send();
}

// Weather

SIMCONNECTAPI SimConnect_WeatherCreateStation(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              const char* szICAO, const char* szName, float lat,
                                              float lon, float alt) {
    return RequestBuilder(hSimConnect, 293, 0x1C)
        .U32(RequestID)
        .Str(szICAO, StationSize)
        .Str(szName, NameSize)
        .F32(lat)
        .F32(lon)
        .F32(alt)
        .Send();
}

SIMCONNECTAPI SimConnect_WeatherCreateThermal(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID, float lat,
                                              float lon, float alt, float radius, float height,
                                              float coreRate, float coreTurbulence, float sinkRate,
                                              float sinkTurbulence, float coreSize,
                                              float coreTransitionSize, float sinkLayerSize,
                                              float sinkTransitionSize) {
    return RequestBuilder(hSimConnect, 72, 0x25)
        .U32(RequestID)
        .F32(lat)
        .F32(lon)
        .F32(alt)
        .F32(radius)
        .F32(height)
        .F32(coreRate)
        .F32(coreTurbulence)
        .F32(sinkRate)
        .F32(sinkTurbulence)
        .F32(coreSize)
        .F32(coreTransitionSize)
        .F32(sinkLayerSize)
        .F32(sinkTransitionSize)
        .Send();
}

SIMCONNECTAPI SimConnect_WeatherRemoveStation(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              const char* szICAO) {
    return RequestBuilder(hSimConnect, 25, 0x1D).U32(RequestID).Str(szICAO, StationSize).Send();
}

SIMCONNECTAPI SimConnect_WeatherRemoveThermal(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID) {
    return RequestBuilder(hSimConnect, 20, 0x26).U32(ObjectID).Send();
}

SIMCONNECTAPI SimConnect_WeatherRequestCloudState(HANDLE hSimConnect,
                                                  SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                  float minLat, float minLon, float minAlt,
                                                  float maxLat, float maxLon, float maxAlt,
                                                  DWORD dwFlags) {
    return RequestBuilder(hSimConnect, 48, 0x24)
        .U32(RequestID)
        .F32(minLat)
        .F32(minLon)
        .F32(minAlt)
        .F32(maxLat)
        .F32(maxLon)
        .F32(maxAlt)
        .U32(dwFlags)
        .Send();
}

SIMCONNECTAPI SimConnect_WeatherRequestInterpolatedObservation(HANDLE hSimConnect,
                                                               SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                               float lat, float lon, float alt) {
    return RequestBuilder(hSimConnect, 32, 0x19).U32(RequestID).F32(lat).F32(lon).F32(alt).Send();
}

SIMCONNECTAPI SimConnect_WeatherRequestObservationAtNearestStation(
    HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID, float lat, float lon) {
    return RequestBuilder(hSimConnect, 28, 0x1B).U32(RequestID).F32(lat).F32(lon).Send();
}

SIMCONNECTAPI SimConnect_WeatherRequestObservationAtStation(HANDLE hSimConnect,
                                                            SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                            const char* szICAO) {
    return RequestBuilder(hSimConnect, 25, 0x1A).U32(RequestID).Str(szICAO, StationSize).Send();
}

SIMCONNECTAPI SimConnect_WeatherSetDynamicUpdateRate(HANDLE hSimConnect, DWORD dwRate) {
    return RequestBuilder(hSimConnect, 20, 0x23).U32(dwRate).Send();
}

SIMCONNECTAPI SimConnect_WeatherSetModeCustom(HANDLE hSimConnect) {
    return RequestBuilder(hSimConnect, 16, 0x22).Send();
}

SIMCONNECTAPI SimConnect_WeatherSetModeGlobal(HANDLE hSimConnect) {
    return RequestBuilder(hSimConnect, 16, 0x21).Send();
}

SIMCONNECTAPI SimConnect_WeatherSetModeServer(HANDLE hSimConnect, DWORD dwPort, DWORD dwSeconds) {
    return RequestBuilder(hSimConnect, 24, 0x1F).U32(dwPort).U32(dwSeconds).Send();
}

SIMCONNECTAPI SimConnect_WeatherSetModeTheme(HANDLE hSimConnect, const char* szThemeName) {
    return RequestBuilder(hSimConnect, 272, 0x20).Str(szThemeName, NameSize).Send();
}

SIMCONNECTAPI SimConnect_WeatherSetObservation(HANDLE hSimConnect, DWORD Seconds,
                                               const char* szMETAR) {
    if (!szMETAR)
        return E_INVALIDARG;
    size_t length = strnlen(szMETAR, MetarLimit);
    if (length >= MetarLimit)
        return E_INVALIDARG;
    uint32_t textSize = static_cast<uint32_t>(length) + 1;
    return RequestBuilder(hSimConnect, 20 + textSize, 0x1E)
        .U32(Seconds)
        .Raw(szMETAR, textSize)
        .Send();
}
