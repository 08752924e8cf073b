#pragma once

// Public interface of the simulator connection library: the published function
// names, argument lists, types, constants and received message layouts.

#include <windows.h>
#include <float.h>

#ifdef __cplusplus
#define SIMCONNECT_DEFAULT(value) = value
#define SIMCONNECT_EXTERN_C extern "C"
#else
#define SIMCONNECT_DEFAULT(value)
#define SIMCONNECT_EXTERN_C
#endif

#define SIMCONNECTAPI SIMCONNECT_EXTERN_C HRESULT

// ---------------------------------------------------------------------------
// Identifier types (all client-chosen 32-bit numbers)

typedef DWORD SIMCONNECT_OBJECT_ID;
typedef DWORD SIMCONNECT_CLIENT_EVENT_ID;
typedef DWORD SIMCONNECT_NOTIFICATION_GROUP_ID;
typedef DWORD SIMCONNECT_INPUT_GROUP_ID;
typedef DWORD SIMCONNECT_DATA_DEFINITION_ID;
typedef DWORD SIMCONNECT_DATA_REQUEST_ID;
typedef DWORD SIMCONNECT_CLIENT_DATA_ID;
typedef DWORD SIMCONNECT_CLIENT_DATA_DEFINITION_ID;

typedef DWORD SIMCONNECT_DATA_REQUEST_FLAG;
typedef DWORD SIMCONNECT_DATA_SET_FLAG;
typedef DWORD SIMCONNECT_CLIENT_DATA_REQUEST_FLAG;
typedef DWORD SIMCONNECT_CREATE_CLIENT_DATA_FLAG;
typedef DWORD SIMCONNECT_EVENT_FLAG;

// ---------------------------------------------------------------------------
// Constants

static const DWORD SIMCONNECT_UNUSED = 0xFFFFFFFF;
static const DWORD SIMCONNECT_OBJECT_ID_USER = 0;
static const DWORD UNKNOWN_GROUP = 0xFFFFFFFF;

static const DWORD SIMCONNECT_GROUP_PRIORITY_HIGHEST = 1;
static const DWORD SIMCONNECT_GROUP_PRIORITY_HIGHEST_MASKABLE = 10000000;
static const DWORD SIMCONNECT_GROUP_PRIORITY_STANDARD = 1900000000;
static const DWORD SIMCONNECT_GROUP_PRIORITY_DEFAULT = 2000000000;
static const DWORD SIMCONNECT_GROUP_PRIORITY_LOWEST = 4000000000u;

static const DWORD SIMCONNECT_EVENT_FLAG_DEFAULT = 0x00;
static const DWORD SIMCONNECT_EVENT_FLAG_FAST_REPEAT_TIMER = 0x02;
static const DWORD SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY = 0x10;

static const DWORD SIMCONNECT_DATA_REQUEST_FLAG_DEFAULT = 0;
static const DWORD SIMCONNECT_DATA_REQUEST_FLAG_CHANGED = 1;
static const DWORD SIMCONNECT_DATA_REQUEST_FLAG_TAGGED = 2;

static const DWORD SIMCONNECT_DATA_SET_FLAG_DEFAULT = 0;
static const DWORD SIMCONNECT_DATA_SET_FLAG_TAGGED = 1;

static const DWORD SIMCONNECT_CLIENT_DATA_REQUEST_FLAG_DEFAULT = 0;
static const DWORD SIMCONNECT_CLIENT_DATA_REQUEST_FLAG_CHANGED = 1;
static const DWORD SIMCONNECT_CLIENT_DATA_REQUEST_FLAG_TAGGED = 2;

static const DWORD SIMCONNECT_CREATE_CLIENT_DATA_FLAG_DEFAULT = 0;
static const DWORD SIMCONNECT_CREATE_CLIENT_DATA_FLAG_READ_ONLY = 1;

static const DWORD SIMCONNECT_CLIENTDATAOFFSET_AUTO = 0xFFFFFFFF;

static const DWORD SIMCONNECT_CLIENTDATATYPE_INT8 = (DWORD)-1;
static const DWORD SIMCONNECT_CLIENTDATATYPE_INT16 = (DWORD)-2;
static const DWORD SIMCONNECT_CLIENTDATATYPE_INT32 = (DWORD)-3;
static const DWORD SIMCONNECT_CLIENTDATATYPE_INT64 = (DWORD)-4;
static const DWORD SIMCONNECT_CLIENTDATATYPE_FLOAT32 = (DWORD)-5;
static const DWORD SIMCONNECT_CLIENTDATATYPE_FLOAT64 = (DWORD)-6;

static const DWORD SIMCONNECT_WAYPOINT_SPEED_REQUESTED = 0x04;
static const DWORD SIMCONNECT_WAYPOINT_THROTTLE_REQUESTED = 0x08;
static const DWORD SIMCONNECT_WAYPOINT_COMPUTE_VERTICAL_SPEED = 0x10;
static const DWORD SIMCONNECT_WAYPOINT_ALTITUDE_IS_AGL = 0x20;
static const DWORD SIMCONNECT_WAYPOINT_ON_GROUND = 0x00100000;
static const DWORD SIMCONNECT_WAYPOINT_REVERSE = 0x00200000;
static const DWORD SIMCONNECT_WAYPOINT_WRAP_TO_FIRST = 0x00400000;

static const DWORD INITPOSITION_AIRSPEED_CRUISE = (DWORD)-1;
static const DWORD INITPOSITION_AIRSPEED_KEEP = (DWORD)-2;

// Exception numbers carried by SIMCONNECT_RECV_EXCEPTION (0 to 37); the ones
// the program names itself.
typedef DWORD SIMCONNECT_EXCEPTION;
static const DWORD SIMCONNECT_EXCEPTION_NONE = 0;
static const DWORD SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OJBECT_TYPE = 24;
static const DWORD SIMCONNECT_EXCEPTION_ALREADY_SUBSCRIBED = 26;
static const DWORD SIMCONNECT_EXCEPTION_INVALID_ENUM = 27;
static const DWORD SIMCONNECT_EXCEPTION_OBJECT_SCHEDULE = 37;

// ---------------------------------------------------------------------------
// Enumerations

enum SIMCONNECT_RECV_ID {
    SIMCONNECT_RECV_ID_NULL,
    SIMCONNECT_RECV_ID_EXCEPTION,
    SIMCONNECT_RECV_ID_OPEN,
    SIMCONNECT_RECV_ID_QUIT,
    SIMCONNECT_RECV_ID_EVENT,
    SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE,
    SIMCONNECT_RECV_ID_EVENT_FILENAME,
    SIMCONNECT_RECV_ID_EVENT_FRAME,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE,
    SIMCONNECT_RECV_ID_WEATHER_OBSERVATION,
    SIMCONNECT_RECV_ID_CLOUD_STATE,
    SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID,
    SIMCONNECT_RECV_ID_RESERVED_KEY,
    SIMCONNECT_RECV_ID_CUSTOM_ACTION,
    SIMCONNECT_RECV_ID_SYSTEM_STATE,
    SIMCONNECT_RECV_ID_CLIENT_DATA,
    SIMCONNECT_RECV_ID_EVENT_WEATHER_MODE,
    SIMCONNECT_RECV_ID_AIRPORT_LIST,
    SIMCONNECT_RECV_ID_VOR_LIST,
    SIMCONNECT_RECV_ID_NDB_LIST,
    SIMCONNECT_RECV_ID_WAYPOINT_LIST,
    SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_SERVER_STARTED,
    SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_CLIENT_STARTED,
    SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_SESSION_ENDED,
    SIMCONNECT_RECV_ID_EVENT_RACE_END,
    SIMCONNECT_RECV_ID_EVENT_RACE_LAP,
    SIMCONNECT_RECV_ID_PICK,
    SIMCONNECT_RECV_ID_EVENT_EX1,
    SIMCONNECT_RECV_ID_FACILITY_DATA,
    SIMCONNECT_RECV_ID_FACILITY_DATA_END,
    SIMCONNECT_RECV_ID_FACILITY_MINIMAL_LIST,
    SIMCONNECT_RECV_ID_JETWAY_DATA
};

enum SIMCONNECT_DATATYPE {
    SIMCONNECT_DATATYPE_INVALID,
    SIMCONNECT_DATATYPE_INT32,
    SIMCONNECT_DATATYPE_INT64,
    SIMCONNECT_DATATYPE_FLOAT32,
    SIMCONNECT_DATATYPE_FLOAT64,
    SIMCONNECT_DATATYPE_STRING8,
    SIMCONNECT_DATATYPE_STRING32,
    SIMCONNECT_DATATYPE_STRING64,
    SIMCONNECT_DATATYPE_STRING128,
    SIMCONNECT_DATATYPE_STRING256,
    SIMCONNECT_DATATYPE_STRING260,
    SIMCONNECT_DATATYPE_STRINGV,
    SIMCONNECT_DATATYPE_INITPOSITION,
    SIMCONNECT_DATATYPE_MARKERSTATE,
    SIMCONNECT_DATATYPE_WAYPOINT,
    SIMCONNECT_DATATYPE_LATLONALT,
    SIMCONNECT_DATATYPE_XYZ
};

enum SIMCONNECT_PERIOD {
    SIMCONNECT_PERIOD_NEVER,
    SIMCONNECT_PERIOD_ONCE,
    SIMCONNECT_PERIOD_VISUAL_FRAME,
    SIMCONNECT_PERIOD_SIM_FRAME,
    SIMCONNECT_PERIOD_SECOND
};

enum SIMCONNECT_CLIENT_DATA_PERIOD {
    SIMCONNECT_CLIENT_DATA_PERIOD_NEVER,
    SIMCONNECT_CLIENT_DATA_PERIOD_ONCE,
    SIMCONNECT_CLIENT_DATA_PERIOD_VISUAL_FRAME,
    SIMCONNECT_CLIENT_DATA_PERIOD_ON_SET,
    SIMCONNECT_CLIENT_DATA_PERIOD_SECOND
};

enum SIMCONNECT_STATE { SIMCONNECT_STATE_OFF, SIMCONNECT_STATE_ON };

enum SIMCONNECT_SIMOBJECT_TYPE {
    SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
    SIMCONNECT_SIMOBJECT_TYPE_ALL,
    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT,
    SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER,
    SIMCONNECT_SIMOBJECT_TYPE_BOAT,
    SIMCONNECT_SIMOBJECT_TYPE_GROUND
};

enum SIMCONNECT_FACILITY_LIST_TYPE {
    SIMCONNECT_FACILITY_LIST_TYPE_AIRPORT,
    SIMCONNECT_FACILITY_LIST_TYPE_WAYPOINT,
    SIMCONNECT_FACILITY_LIST_TYPE_NDB,
    SIMCONNECT_FACILITY_LIST_TYPE_VOR,
    SIMCONNECT_FACILITY_LIST_TYPE_COUNT
};

enum SIMCONNECT_TEXT_TYPE {
    SIMCONNECT_TEXT_TYPE_SCROLL_BLACK,
    SIMCONNECT_TEXT_TYPE_SCROLL_WHITE,
    SIMCONNECT_TEXT_TYPE_SCROLL_RED,
    SIMCONNECT_TEXT_TYPE_SCROLL_GREEN,
    SIMCONNECT_TEXT_TYPE_SCROLL_BLUE,
    SIMCONNECT_TEXT_TYPE_SCROLL_YELLOW,
    SIMCONNECT_TEXT_TYPE_SCROLL_MAGENTA,
    SIMCONNECT_TEXT_TYPE_SCROLL_CYAN,
    SIMCONNECT_TEXT_TYPE_PRINT_BLACK = 0x0100,
    SIMCONNECT_TEXT_TYPE_PRINT_WHITE,
    SIMCONNECT_TEXT_TYPE_PRINT_RED,
    SIMCONNECT_TEXT_TYPE_PRINT_GREEN,
    SIMCONNECT_TEXT_TYPE_PRINT_BLUE,
    SIMCONNECT_TEXT_TYPE_PRINT_YELLOW,
    SIMCONNECT_TEXT_TYPE_PRINT_MAGENTA,
    SIMCONNECT_TEXT_TYPE_PRINT_CYAN,
    SIMCONNECT_TEXT_TYPE_MENU = 0x0200
};

enum SIMCONNECT_TEXT_RESULT {
    SIMCONNECT_TEXT_RESULT_MENU_SELECT_1,
    SIMCONNECT_TEXT_RESULT_MENU_SELECT_2,
    SIMCONNECT_TEXT_RESULT_MENU_SELECT_3,
    SIMCONNECT_TEXT_RESULT_MENU_SELECT_4,
    SIMCONNECT_TEXT_RESULT_MENU_SELECT_5,
    SIMCONNECT_TEXT_RESULT_MENU_SELECT_6,
    SIMCONNECT_TEXT_RESULT_MENU_SELECT_7,
    SIMCONNECT_TEXT_RESULT_MENU_SELECT_8,
    SIMCONNECT_TEXT_RESULT_MENU_SELECT_9,
    SIMCONNECT_TEXT_RESULT_MENU_SELECT_10,
    SIMCONNECT_TEXT_RESULT_QUEUED,
    SIMCONNECT_TEXT_RESULT_REMOVED,
    SIMCONNECT_TEXT_RESULT_REPLACED,
    SIMCONNECT_TEXT_RESULT_TIMEOUT,
    SIMCONNECT_TEXT_RESULT_DISPLAYED = 0x00010000
};

enum SIMCONNECT_MISSION_END {
    SIMCONNECT_MISSION_FAILED,
    SIMCONNECT_MISSION_CRASHED,
    SIMCONNECT_MISSION_SUCCEEDED
};

enum SIMCONNECT_WEATHER_MODE {
    SIMCONNECT_WEATHER_MODE_THEME,
    SIMCONNECT_WEATHER_MODE_RWW,
    SIMCONNECT_WEATHER_MODE_CUSTOM,
    SIMCONNECT_WEATHER_MODE_GLOBAL
};

// ---------------------------------------------------------------------------
// Structures: byte-packed, as they travel in the messages.

#pragma pack(push, 1)

struct SIMCONNECT_DATA_INITPOSITION {
    double Latitude;
    double Longitude;
    double Altitude;
    double Pitch;
    double Bank;
    double Heading;
    DWORD OnGround;
    DWORD Airspeed;
};

struct SIMCONNECT_DATA_MARKERSTATE {
    char szMarkerName[64];
    DWORD dwMarkerState;
};

struct SIMCONNECT_DATA_WAYPOINT {
    double Latitude;
    double Longitude;
    double Altitude;
    unsigned long Flags;
    double ktsSpeed;
    double percentThrottle;
};

struct SIMCONNECT_DATA_LATLONALT {
    double Latitude;
    double Longitude;
    double Altitude;
};

struct SIMCONNECT_DATA_XYZ {
    double x;
    double y;
    double z;
};

// Every received message starts with this header.
struct SIMCONNECT_RECV {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
};

struct SIMCONNECT_RECV_EXCEPTION : public SIMCONNECT_RECV {
    DWORD dwException;
    DWORD dwSendID;
    DWORD dwIndex;
};

struct SIMCONNECT_RECV_QUIT : public SIMCONNECT_RECV {};

struct SIMCONNECT_RECV_EVENT : public SIMCONNECT_RECV {
    DWORD uGroupID;
    DWORD uEventID;
    DWORD dwData;
};

struct SIMCONNECT_RECV_EVENT_FILENAME : public SIMCONNECT_RECV_EVENT {
    char szFileName[MAX_PATH];
};

struct SIMCONNECT_RECV_EVENT_FRAME : public SIMCONNECT_RECV_EVENT {};

struct SIMCONNECT_RECV_SIMOBJECT_DATA : public SIMCONNECT_RECV {
    DWORD dwRequestID;
    DWORD dwObjectID;
    DWORD dwDefineID;
    DWORD dwFlags;
    DWORD dwentrynumber;
    DWORD dwoutof;
    DWORD dwDefineCount;
    DWORD dwData; // the first field value; the values continue from here
};

struct SIMCONNECT_RECV_SYSTEM_STATE : public SIMCONNECT_RECV {
    DWORD dwRequestID;
    DWORD dwInteger;
    float fFloat;
    char szString[MAX_PATH];
};

#pragma pack(pop)

// Callback of SimConnect_CallDispatch.
typedef void(CALLBACK* DispatchProc)(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);

// ---------------------------------------------------------------------------
// Functions

// General, connection and dispatch
SIMCONNECTAPI SimConnect_Open(HANDLE* phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32,
                              HANDLE hEventHandle, DWORD ConfigIndex);
SIMCONNECTAPI SimConnect_Close(HANDLE hSimConnect);
SIMCONNECTAPI SimConnect_GetNextDispatch(HANDLE hSimConnect, SIMCONNECT_RECV** ppData,
                                         DWORD* pcbData);
SIMCONNECTAPI SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch,
                                      void* pContext);
SIMCONNECTAPI SimConnect_RequestSystemState(HANDLE hSimConnect,
                                            SIMCONNECT_DATA_REQUEST_ID RequestID,
                                            const char* szState);
SIMCONNECTAPI SimConnect_SetSystemState(HANDLE hSimConnect, const char* szState, DWORD dwInteger,
                                        float fFloat, const char* szString);
SIMCONNECTAPI SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect,
                                                      SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                      DWORD uPriority);
SIMCONNECTAPI SimConnect_Text(HANDLE hSimConnect, SIMCONNECT_TEXT_TYPE type, float fTimeSeconds,
                              SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD cbUnitSize, void* pDataSet);

// System events
SIMCONNECTAPI SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect,
                                                SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                const char* SystemEventName);
SIMCONNECTAPI SimConnect_UnsubscribeFromSystemEvent(HANDLE hSimConnect,
                                                    SIMCONNECT_CLIENT_EVENT_ID EventID);
SIMCONNECTAPI SimConnect_SetSystemEventState(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                             SIMCONNECT_STATE dwState);

// Client events, notification groups, input groups
SIMCONNECTAPI SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect,
                                                  SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                  const char* EventName SIMCONNECT_DEFAULT(""));
SIMCONNECTAPI SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                             SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                             SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                             SIMCONNECT_EVENT_FLAG Flags);
SIMCONNECTAPI SimConnect_AddClientEventToNotificationGroup(
    HANDLE hSimConnect, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
    SIMCONNECT_CLIENT_EVENT_ID EventID, BOOL bMaskable SIMCONNECT_DEFAULT(FALSE));
SIMCONNECTAPI SimConnect_RemoveClientEvent(HANDLE hSimConnect,
                                           SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                           SIMCONNECT_CLIENT_EVENT_ID EventID);
SIMCONNECTAPI SimConnect_ClearNotificationGroup(HANDLE hSimConnect,
                                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID);
SIMCONNECTAPI SimConnect_RequestNotificationGroup(HANDLE hSimConnect,
                                                  SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                  DWORD dwReserved SIMCONNECT_DEFAULT(0),
                                                  DWORD Flags SIMCONNECT_DEFAULT(0));
SIMCONNECTAPI SimConnect_MapInputEventToClientEvent(
    HANDLE hSimConnect, SIMCONNECT_INPUT_GROUP_ID GroupID, const char* pszInputDefinition,
    SIMCONNECT_CLIENT_EVENT_ID DownEventID, DWORD DownValue SIMCONNECT_DEFAULT(0),
    SIMCONNECT_CLIENT_EVENT_ID UpEventID
        SIMCONNECT_DEFAULT((SIMCONNECT_CLIENT_EVENT_ID)SIMCONNECT_UNUSED),
    DWORD UpValue SIMCONNECT_DEFAULT(0), BOOL bMaskable SIMCONNECT_DEFAULT(FALSE));
SIMCONNECTAPI SimConnect_SetInputGroupPriority(HANDLE hSimConnect,
                                               SIMCONNECT_INPUT_GROUP_ID GroupID, DWORD uPriority);
SIMCONNECTAPI SimConnect_RemoveInputEvent(HANDLE hSimConnect, SIMCONNECT_INPUT_GROUP_ID GroupID,
                                          const char* pszInputDefinition);
SIMCONNECTAPI SimConnect_ClearInputGroup(HANDLE hSimConnect, SIMCONNECT_INPUT_GROUP_ID GroupID);
SIMCONNECTAPI SimConnect_SetInputGroupState(HANDLE hSimConnect, SIMCONNECT_INPUT_GROUP_ID GroupID,
                                            DWORD dwState);
SIMCONNECTAPI SimConnect_RequestReservedKey(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* szKeyChoice1,
                                            const char* szKeyChoice2 SIMCONNECT_DEFAULT(""),
                                            const char* szKeyChoice3 SIMCONNECT_DEFAULT(""));

// Simulation-object data
SIMCONNECTAPI SimConnect_AddToDataDefinition(
    HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID, const char* DatumName,
    const char* UnitsName,
    SIMCONNECT_DATATYPE DatumType SIMCONNECT_DEFAULT(SIMCONNECT_DATATYPE_FLOAT64),
    float fEpsilon SIMCONNECT_DEFAULT(0), DWORD DatumID SIMCONNECT_DEFAULT(SIMCONNECT_UNUSED));
SIMCONNECTAPI SimConnect_ClearDataDefinition(HANDLE hSimConnect,
                                             SIMCONNECT_DATA_DEFINITION_ID DefineID);
SIMCONNECTAPI SimConnect_RequestDataOnSimObject(
    HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
    SIMCONNECT_DATA_DEFINITION_ID DefineID, SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
    SIMCONNECT_DATA_REQUEST_FLAG Flags SIMCONNECT_DEFAULT(0), DWORD origin SIMCONNECT_DEFAULT(0),
    DWORD interval SIMCONNECT_DEFAULT(0), DWORD limit SIMCONNECT_DEFAULT(0));
SIMCONNECTAPI SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect,
                                                    SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                    SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                    DWORD dwRadiusMeters,
                                                    SIMCONNECT_SIMOBJECT_TYPE type);
SIMCONNECTAPI SimConnect_SetDataOnSimObject(HANDLE hSimConnect,
                                            SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                            SIMCONNECT_OBJECT_ID ObjectID,
                                            SIMCONNECT_DATA_SET_FLAG Flags, DWORD ArrayCount,
                                            DWORD cbUnitSize, void* pDataSet);

// Client data areas
SIMCONNECTAPI SimConnect_MapClientDataNameToID(HANDLE hSimConnect, const char* szClientDataName,
                                               SIMCONNECT_CLIENT_DATA_ID ClientDataID);
SIMCONNECTAPI SimConnect_CreateClientData(HANDLE hSimConnect,
                                          SIMCONNECT_CLIENT_DATA_ID ClientDataID, DWORD dwSize,
                                          SIMCONNECT_CREATE_CLIENT_DATA_FLAG Flags);
SIMCONNECTAPI
SimConnect_AddToClientDataDefinition(HANDLE hSimConnect,
                                     SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID, DWORD dwOffset,
                                     DWORD dwSizeOrType, float fEpsilon SIMCONNECT_DEFAULT(0),
                                     DWORD DatumID SIMCONNECT_DEFAULT(SIMCONNECT_UNUSED));
SIMCONNECTAPI SimConnect_ClearClientDataDefinition(HANDLE hSimConnect,
                                                   SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID);
SIMCONNECTAPI SimConnect_RequestClientData(
    HANDLE hSimConnect, SIMCONNECT_CLIENT_DATA_ID ClientDataID,
    SIMCONNECT_DATA_REQUEST_ID RequestID, SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID,
    SIMCONNECT_CLIENT_DATA_PERIOD Period SIMCONNECT_DEFAULT(SIMCONNECT_CLIENT_DATA_PERIOD_ONCE),
    SIMCONNECT_CLIENT_DATA_REQUEST_FLAG Flags SIMCONNECT_DEFAULT(0),
    DWORD origin SIMCONNECT_DEFAULT(0), DWORD interval SIMCONNECT_DEFAULT(0),
    DWORD limit SIMCONNECT_DEFAULT(0));
SIMCONNECTAPI SimConnect_SetClientData(HANDLE hSimConnect, SIMCONNECT_CLIENT_DATA_ID ClientDataID,
                                       SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID, DWORD Flags,
                                       DWORD dwReserved, DWORD cbUnitSize, void* pDataSet);

// Debug and string helpers
SIMCONNECTAPI SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID);
SIMCONNECTAPI SimConnect_RequestResponseTimes(HANDLE hSimConnect, DWORD nCount,
                                              float* fElapsedSeconds);
SIMCONNECTAPI SimConnect_InsertString(char* pDest, DWORD cbDest, void** ppEnd, DWORD* pcbStringV,
                                      const char* pSource);
SIMCONNECTAPI SimConnect_RetrieveString(SIMCONNECT_RECV* pData, DWORD cbData, void* pStringV,
                                        char** ppszString, DWORD* pcbString);

// AI objects
SIMCONNECTAPI SimConnect_AICreateParkedATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                                   const char* szTailNumber,
                                                   const char* szAirportID,
                                                   SIMCONNECT_DATA_REQUEST_ID RequestID);
SIMCONNECTAPI SimConnect_AICreateEnrouteATCAircraft(HANDLE hSimConnect,
                                                    const char* szContainerTitle,
                                                    const char* szTailNumber, int iFlightNumber,
                                                    const char* szFlightPlanPath,
                                                    double dFlightPlanPosition, BOOL bTouchAndGo,
                                                    SIMCONNECT_DATA_REQUEST_ID RequestID);
SIMCONNECTAPI SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                                const char* szTailNumber,
                                                SIMCONNECT_DATA_INITPOSITION InitPos,
                                                SIMCONNECT_DATA_REQUEST_ID RequestID);
SIMCONNECTAPI SimConnect_AICreateSimulatedObject(HANDLE hSimConnect, const char* szContainerTitle,
                                                 SIMCONNECT_DATA_INITPOSITION InitPos,
                                                 SIMCONNECT_DATA_REQUEST_ID RequestID);
SIMCONNECTAPI SimConnect_AIReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                          SIMCONNECT_DATA_REQUEST_ID RequestID);
SIMCONNECTAPI SimConnect_AIRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                        SIMCONNECT_DATA_REQUEST_ID RequestID);
SIMCONNECTAPI SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                                 const char* szFlightPlanPath,
                                                 SIMCONNECT_DATA_REQUEST_ID RequestID);

// Flights, facilities, missions, camera, menus
SIMCONNECTAPI SimConnect_FlightLoad(HANDLE hSimConnect, const char* szFileName);
SIMCONNECTAPI SimConnect_FlightSave(HANDLE hSimConnect, const char* szFileName, const char* szTitle,
                                    const char* szDescription, DWORD Flags);
SIMCONNECTAPI SimConnect_FlightPlanLoad(HANDLE hSimConnect, const char* szFileName);
SIMCONNECTAPI SimConnect_SubscribeToFacilities(HANDLE hSimConnect,
                                               SIMCONNECT_FACILITY_LIST_TYPE type,
                                               SIMCONNECT_DATA_REQUEST_ID RequestID);
SIMCONNECTAPI SimConnect_UnsubscribeToFacilities(HANDLE hSimConnect,
                                                 SIMCONNECT_FACILITY_LIST_TYPE type);
SIMCONNECTAPI SimConnect_RequestFacilitiesList(HANDLE hSimConnect,
                                               SIMCONNECT_FACILITY_LIST_TYPE type,
                                               SIMCONNECT_DATA_REQUEST_ID RequestID);
SIMCONNECTAPI SimConnect_ExecuteMissionAction(HANDLE hSimConnect, const GUID guidInstanceId);
SIMCONNECTAPI SimConnect_CompleteCustomMissionAction(HANDLE hSimConnect, const GUID guidInstanceId);
SIMCONNECTAPI SimConnect_CameraSetRelative6DOF(HANDLE hSimConnect, float fDeltaX, float fDeltaY,
                                               float fDeltaZ, float fPitchDeg, float fBankDeg,
                                               float fHeadingDeg);
SIMCONNECTAPI SimConnect_MenuAddItem(HANDLE hSimConnect, const char* szMenuItem,
                                     SIMCONNECT_CLIENT_EVENT_ID MenuEventID, DWORD dwData);
SIMCONNECTAPI SimConnect_MenuAddSubItem(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID MenuEventID,
                                        const char* szMenuItem,
                                        SIMCONNECT_CLIENT_EVENT_ID SubMenuEventID, DWORD dwData);
SIMCONNECTAPI SimConnect_MenuDeleteItem(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID MenuEventID);
SIMCONNECTAPI SimConnect_MenuDeleteSubItem(HANDLE hSimConnect,
                                           SIMCONNECT_CLIENT_EVENT_ID MenuEventID,
                                           const SIMCONNECT_CLIENT_EVENT_ID SubMenuEventID);

// Weather
SIMCONNECTAPI SimConnect_WeatherRequestInterpolatedObservation(HANDLE hSimConnect,
                                                               SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                               float lat, float lon, float alt);
SIMCONNECTAPI SimConnect_WeatherRequestObservationAtStation(HANDLE hSimConnect,
                                                            SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                            const char* szICAO);
SIMCONNECTAPI SimConnect_WeatherRequestObservationAtNearestStation(
    HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID, float lat, float lon);
SIMCONNECTAPI SimConnect_WeatherCreateStation(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              const char* szICAO, const char* szName, float lat,
                                              float lon, float alt);
SIMCONNECTAPI SimConnect_WeatherRemoveStation(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              const char* szICAO);
SIMCONNECTAPI SimConnect_WeatherSetObservation(HANDLE hSimConnect, DWORD Seconds,
                                               const char* szMETAR);
SIMCONNECTAPI SimConnect_WeatherSetModeServer(HANDLE hSimConnect, DWORD dwPort, DWORD dwSeconds);
SIMCONNECTAPI SimConnect_WeatherSetModeTheme(HANDLE hSimConnect, const char* szThemeName);
SIMCONNECTAPI SimConnect_WeatherSetModeGlobal(HANDLE hSimConnect);
SIMCONNECTAPI SimConnect_WeatherSetModeCustom(HANDLE hSimConnect);
SIMCONNECTAPI SimConnect_WeatherSetDynamicUpdateRate(HANDLE hSimConnect, DWORD dwRate);
SIMCONNECTAPI SimConnect_WeatherRequestCloudState(HANDLE hSimConnect,
                                                  SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                  float minLat, float minLon, float minAlt,
                                                  float maxLat, float maxLon, float maxAlt,
                                                  DWORD dwFlags SIMCONNECT_DEFAULT(0));
SIMCONNECTAPI SimConnect_WeatherCreateThermal(
    HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID, float lat, float lon, float alt,
    float radius, float height, float coreRate SIMCONNECT_DEFAULT(3.0f),
    float coreTurbulence SIMCONNECT_DEFAULT(0.05f), float sinkRate SIMCONNECT_DEFAULT(3.0f),
    float sinkTurbulence SIMCONNECT_DEFAULT(0.2f), float coreSize SIMCONNECT_DEFAULT(0.4f),
    float coreTransitionSize SIMCONNECT_DEFAULT(0.1f), float sinkLayerSize SIMCONNECT_DEFAULT(0.4f),
    float sinkTransitionSize SIMCONNECT_DEFAULT(0.1f));
SIMCONNECTAPI SimConnect_WeatherRemoveThermal(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID);
