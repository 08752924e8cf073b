// What the simulator tells the application: SimConnect messages drained on
// WM_APP+5 and dispatched by their id, and the periodic work hung off "Frame"
// and "6Hz".

#include "core/Plugin.h"

#include "sim_link/DataDefinition.h"
#include "sim_link/SimConnectHandle.h"
#include "support/Logger.h"
#include "support/TextConversion.h"

#include <algorithm>
#include <cstring>

namespace {

// Field offsets of the received messages read here.
constexpr uint32_t kExceptionOffset = 12;
constexpr uint32_t kExceptionSendIdOffset = 16;
constexpr uint32_t kExceptionIndexOffset = 20;
constexpr uint32_t kEventGroupOffset = 12;
constexpr uint32_t kEventIdOffset = 16;
constexpr uint32_t kEventDataOffset = 20;
constexpr uint32_t kFileNameOffset = 24;
constexpr uint32_t kStateRequestIdOffset = 12;
constexpr uint32_t kStateIntegerOffset = 16;
constexpr uint32_t kStateStringOffset = 24;

constexpr uint32_t kAircraftStateRequest = 0;
constexpr uint32_t kSimStateRequest = 1;

// The text at the offset, ending at its NUL, at MAX_PATH characters or at the
// end of the message, whichever comes first.
std::string ReadMessageString(const SIMCONNECT_RECV* message, uint32_t size, uint32_t offset) {
    if (size <= offset)
        return std::string();
    const char* text = reinterpret_cast<const char*>(message) + offset;
    size_t limit = std::min<size_t>(size - offset, MAX_PATH);
    return std::string(text, strnlen(text, limit));
}

// A u32 field; 0 when the message is too short to hold it.
uint32_t Field(const SIMCONNECT_RECV* message, uint32_t size, uint32_t offset) {
    uint32_t value = 0;
    ReadMessageU32(message, size, offset, value);
    return value;
}

bool Holds(uint32_t size, uint32_t offset) {
    return size >= offset + sizeof(uint32_t);
}

uint32_t IdOf(const std::shared_ptr<SystemEvent>& event) {
    return event ? event->Id() : 0;
}

} // namespace

void Plugin::DrainSimConnect() {
    for (;;) {
        SIMCONNECT_RECV* message = nullptr;
        DWORD size = 0;
        SimConnect_GetNextDispatch(simConnect, &message, &size);
        if (message == nullptr || size < sizeof(SIMCONNECT_RECV) ||
            message->dwID == SIMCONNECT_RECV_ID_NULL)
            return;
        try {
            DispatchSimConnect(message, size);
        } catch (const std::exception& error) {
            gLogger->Error("simconnect: error handling message %d: %s",
                           static_cast<int>(message->dwID), error.what());
        }
    }
}

void Plugin::DispatchSimConnect(const SIMCONNECT_RECV* message, uint32_t size) {
    if (message == nullptr || size < sizeof(SIMCONNECT_RECV))
        return;
    switch (message->dwID) {
    case SIMCONNECT_RECV_ID_EXCEPTION: {
        const char* name = SimConnectExceptionName(Field(message, size, kExceptionOffset));
        gLogger->Error("simconnect: exception type '%s' thrown - SendID: %d [Index: %d]",
                       name ? name : "UNKNOWN_EXCEPTION",
                       static_cast<int>(Field(message, size, kExceptionSendIdOffset)),
                       static_cast<int>(Field(message, size, kExceptionIndexOffset)));
        break;
    }
    case SIMCONNECT_RECV_ID_QUIT:
        gLogger->Info("simconnect: quit event received");
        if (mainWindow)
            mainWindow->PostQuit();
        break;
    case SIMCONNECT_RECV_ID_EVENT:
        OnEvent(message, size);
        break;
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
        LogTrace("simconnect: SIMCONNECT_RECV_ID_EVENT_FILENAME");
        if (Holds(size, kEventIdOffset) &&
            Field(message, size, kEventIdOffset) == IdOf(aircraftLoadedEvent))
            OnAircraftPath(ReadMessageString(message, size, kFileNameOffset));
        break;
    case SIMCONNECT_RECV_ID_EVENT_FRAME:
        if (Holds(size, kEventIdOffset) && Field(message, size, kEventIdOffset) == IdOf(frameEvent))
            OnFrame();
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        LogTrace("simconnect: SIMCONNECT_RECV_ID_SIMOBJECT_DATA");
        simVars.OnSimObjectData(reinterpret_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA*>(message),
                                size);
        break;
    case SIMCONNECT_RECV_ID_SYSTEM_STATE:
        LogTrace("simconnect: SIMCONNECT_RECV_ID_SYSTEM_STATE");
        OnSystemState(message, size);
        break;
    default:
        break;
    }
}

void Plugin::OnEvent(const SIMCONNECT_RECV* message, uint32_t size) {
    uint32_t group = Field(message, size, kEventGroupOffset);
    uint32_t eventId = Field(message, size, kEventIdOffset);
    uint32_t data = Field(message, size, kEventDataOffset);
    LogTrace("simconnect: SIMCONNECT_RECV_ID_EVENT: NG: %d, EvID: %d", static_cast<int>(group),
             static_cast<int>(eventId));
    if (!Holds(size, kEventDataOffset))
        return;
    if (commandPages.Group() && group == commandPages.Group()->Id()) {
        commandPages.OnEvent(reinterpret_cast<const SIMCONNECT_RECV_EVENT*>(message), size);
        return;
    }
    if (uiGroup && group == uiGroup->Id()) {
        if (showEvent && eventId == showEvent->Id()) {
            LogTrace("received menu event");
            if (mainWindow)
                mainWindow->Show();
        } else if (yokeSettingsEvent && eventId == yokeSettingsEvent->Id()) {
            if (yokeDialog)
                yokeDialog->Show();
        }
        return;
    }
    if (eventId == IdOf(simStateEvent)) {
        gLogger->Debug("simconnect: got sim active = %d", static_cast<int>(data));
        SetSimActive(data != 0);
    } else if (eventId == IdOf(frameEvent)) {
        OnFrame();
    } else if (eventId == IdOf(sixHzEvent)) {
        OnSixHz();
    }
}

void Plugin::OnSystemState(const SIMCONNECT_RECV* message, uint32_t size) {
    if (!Holds(size, kStateIntegerOffset))
        return;
    uint32_t requestId = Field(message, size, kStateRequestIdOffset);
    if (requestId == kAircraftStateRequest) {
        std::string path = ReadMessageString(message, size, kStateStringOffset);
        LogTrace("simconnect: got state notifcation for aircraft: %s", path.c_str());
        OnAircraftPath(std::move(path));
        if (mainWindow)
            mainWindow->SetTitle();
    } else if (requestId == kSimStateRequest) {
        uint32_t active = Field(message, size, kStateIntegerOffset);
        gLogger->Debug("simconnect: got sim active = %d", static_cast<int>(active));
        SetSimActive(active != 0);
    }
}

void Plugin::OnAircraftPath(std::string path) {
    aircraftPath = std::move(path);
    if (settings)
        settings->ReloadCommandMaps();
}

std::wstring Plugin::AircraftPath() const {
    return AnsiToWide(aircraftPath.c_str());
}

void Plugin::OnFrame() {
    if (registrationPending && eventMapper.SendPendingRegistrations())
        registrationPending = false;
    if (ioManager)
        UpdateDevices();
    PollDevices();
}

void Plugin::OnSixHz() {
    holdQueue.Tick();
}

void Plugin::SetSimActive(bool active) {
    if (simActive == active)
        return;
    simActive = active;
    if (active)
        OnSimActive();
    else
        OnSimInactive();
}

void Plugin::OnSimActive() {
    for (const std::string& key : DeviceKeys()) {
        gLogger->Info("SimActive: Connecting events to %s", key.c_str());
        RegisterEvents(key);
    }
    simVars.RequestPending();
    if (mainWindow)
        mainWindow->SetTitle();
}

void Plugin::OnSimInactive() {
    for (const std::string& key : DeviceKeys()) {
        gLogger->Info("Sim Inactive: Disconnecting events to %s", key.c_str());
        RemoveEvents(key);
    }
    if (mainWindow)
        mainWindow->SetTitle();
}
