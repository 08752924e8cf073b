#include "SimServer.h"

#include "ReceivedMessages.h"
#include "ValueEncoding.h"

namespace standin {

namespace {

constexpr const char* ApplicationName = "Brackenfold stand-in simulator";

bool SameText(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

uint64_t PerformanceCounter() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return uint64_t(value.QuadPart);
}

// Size of one client-data datum from its size-or-type word (negative: a typed value).
uint32_t ClientDatumSize(uint32_t sizeOrType) {
    switch (int32_t(sizeOrType)) {
    case -1:
        return 1;
    case -2:
        return 2;
    case -3:
    case -5:
        return 4;
    case -4:
    case -6:
        return 8;
    default:
        return int32_t(sizeOrType) < 0 ? 0 : sizeOrType;
    }
}

} // namespace

void SimServer::OnPacket(Client& client, const Bytes& packet) {
    uint64_t received = PerformanceCounter();
    Request request = DecodeRequest(packet);
    client.lastSendId = request.sendId;
    Refusal refusal;
    std::string note;
    auto forced = refused.find(request.number);
    if (!request.known || !request.sizeOk || request.version != RequestVersion) {
        refusal = {ExcBadRequest, 0};
    } else if (forced != refused.end()) {
        refusal = {forced->second, 0};
    } else if (!client.opened && request.number != ReqOpen) {
        refusal = {ExcBadRequest, 0};
    } else if (request.decoded) {
        for (size_t i = 0; i < request.fields.size(); ++i) {
            if (request.fields[i].kind == FieldKind::String && !request.fields[i].terminated) {
                refusal = {ExcBadArgument, uint32_t(i + 1)};
                break;
            }
        }
    }
    std::string fields = request.Describe();
    if (!request.sizeOk && request.known)
        fields +=
            (fields.empty() ? "" : " ") + std::string("BadSize=") + std::to_string(packet.size());
    if (request.known && request.version != RequestVersion)
        fields += (fields.empty() ? "" : " ") + std::string("BadVersion=") +
                  std::to_string(request.version);
    if (request.decoded)
        note = Annotate(client, request);
    if (!note.empty())
        fields += (fields.empty() ? "" : " ") + note;
    record.Write(client.number, request.sendId, request.function, fields);
    if (refusal.exception == 0)
        refusal = Handle(client, request);
    ++requestCounts[request.function];
    changed.notify_all();
    if (refusal.exception != 0) {
        SendException(client, refusal.exception, request.sendId, refusal.index);
        return;
    }
    if (request.number == ReqOpen)
        Send(client, MakeOpenMessage(ApplicationName), "");
    if (request.number == ReqRequestResponseTimes)
        Send(client, MakeResponseTimesMessage(received, PerformanceCounter()), "");
}

std::string SimServer::Annotate(const Client& client, const Request& request) const {
    if (request.number == ReqTransmitClientEvent) {
        auto mapped = client.eventNames.find(request.U32(1));
        if (mapped != client.eventNames.end())
            return "Name=" + Quote(mapped->second);
    } else if (request.number == ReqSetClientData) {
        auto name = client.clientDataNames.find(request.U32(0));
        if (name != client.clientDataNames.end())
            return "Area=" + Quote(name->second);
    }
    return "";
}

SimServer::Refusal SimServer::Handle(Client& client, const Request& request) {
    switch (request.number) {
    case ReqOpen:
        if (client.opened)
            return {ExcBadRequest, 0};
        client.opened = true;
        ++openCount;
        return {};
    case ReqMapClientEventToSimEvent:
        client.eventNames[request.U32(0)] = request.Text(1);
        return {};
    case ReqTransmitClientEvent: {
        auto mapped = client.eventNames.find(request.U32(1));
        if (mapped == client.eventNames.end())
            return {ExcUnknownId, 2};
        DeliverClientEvent(mapped->second, request.U32(2), &client, request.U32(1));
        return {};
    }
    case ReqAddClientEventToNotificationGroup:
        client.groups[request.U32(0)].insert(request.U32(1));
        return {};
    case ReqSetNotificationGroupPriority:
        client.groups[request.U32(0)];
        return {};
    case ReqClearNotificationGroup:
        if (client.groups.erase(request.U32(0)) == 0)
            return {ExcUnknownId, 1};
        return {};
    case ReqAddToDataDefinition:
        if (!IsKnownDataType(request.U32(3)))
            return {ExcBadArgument, 4};
        client.defines[request.U32(0)].push_back({request.Text(1), request.U32(3)});
        return {};
    case ReqClearDataDefinition:
        client.defines.erase(request.U32(0));
        return {};
    case ReqRequestDataOnSimObject:
        return HandleDataRequest(client, request);
    case ReqSubscribeToSystemEvent:
        if (request.Text(1).empty())
            return {ExcBadArgument, 2};
        client.systemEvents[request.U32(0)] = request.Text(1);
        return {};
    case ReqUnsubscribeFromSystemEvent:
        if (client.systemEvents.erase(request.U32(0)) == 0)
            return {ExcUnknownId, 1};
        return {};
    case ReqRequestSystemState: {
        const std::string& state = request.Text(1);
        uint32_t requestId = request.U32(0);
        if (SameText(state, "AircraftLoaded"))
            Send(client, MakeSystemStateMessage(requestId, 0, 0.0f, settings.aircraftPath),
                 "RequestID=" + std::to_string(requestId) +
                     " String=" + Quote(settings.aircraftPath));
        else if (SameText(state, "Sim"))
            Send(client, MakeSystemStateMessage(requestId, settings.simRunning ? 1 : 0, 0.0f, ""),
                 "RequestID=" + std::to_string(requestId) +
                     " Integer=" + std::to_string(settings.simRunning ? 1 : 0));
        else if (SameText(state, "DialogMode") || SameText(state, "FlightLoaded") ||
                 SameText(state, "FlightPlan"))
            Send(client, MakeSystemStateMessage(requestId, 0, 0.0f, ""),
                 "RequestID=" + std::to_string(requestId) + " Integer=0");
        else
            return {ExcBadArgument, 2};
        return {};
    }
    case ReqMapClientDataNameToID:
        client.clientDataNames[request.U32(1)] = request.Text(0);
        return {};
    case ReqAddToClientDataDefinition: {
        auto& datums = client.clientDataDefines[request.U32(0)];
        uint32_t offset = request.U32(1);
        if (offset == 0xFFFFFFFF)
            offset = datums.empty() ? 0 : datums.back().offset + datums.back().size;
        datums.push_back({offset, ClientDatumSize(request.U32(2))});
        return {};
    }
    case ReqSetClientData:
        return HandleSetClientData(client, request);
    default:
        return {};
    }
}

SimServer::Refusal SimServer::HandleDataRequest(Client& client, const Request& request) {
    uint32_t requestId = request.U32(0);
    uint32_t period = request.U32(3);
    if (period == 0) {
        client.dataRequests.erase(requestId);
        return {};
    }
    if (request.U32(2) != 0)
        return {ExcBadArgument, 3};
    if (period > 4)
        return {ExcBadArgument, 4};
    auto define = client.defines.find(request.U32(1));
    if (define == client.defines.end() || define->second.empty())
        return {ExcUnknownId, 2};
    DataRequest entry;
    entry.defineId = request.U32(1);
    entry.objectId = request.U32(2);
    entry.period = period;
    entry.flags = request.U32(4);
    client.dataRequests[requestId] = entry;
    return {};
}

SimServer::Refusal SimServer::HandleSetClientData(Client& client, const Request& request) {
    auto name = client.clientDataNames.find(request.U32(0));
    if (name == client.clientDataNames.end())
        return {ExcUnknownId, 1};
    Bytes* area = helper.Area(name->second);
    if (!area)
        return {ExcUnknownId, 1};
    auto define = client.clientDataDefines.find(request.U32(1));
    if (define == client.clientDataDefines.end())
        return {ExcUnknownId, 2};
    uint32_t total = 0;
    for (const auto& datum : define->second) {
        total += datum.size;
        if (uint64_t(datum.offset) + datum.size > area->size())
            return {ExcBadArgument, 2};
    }
    const Bytes& data = request.Field(5).data;
    if (request.U32(4) != total || data.size() != total)
        return {ExcBadArgument, 5};
    size_t from = 0;
    for (const auto& datum : define->second) {
        std::copy(data.begin() + from, data.begin() + from + datum.size,
                  area->begin() + datum.offset);
        from += datum.size;
    }
    helper.OnAreaWritten(name->second);
    return {};
}

} // namespace standin
