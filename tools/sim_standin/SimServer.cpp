#include "SimServer.h"

#include "ReceivedMessages.h"
#include "ValueEncoding.h"

#include <chrono>
#include <thread>

namespace standin {

namespace {

constexpr uint32_t MaxPacketSize = 0x100000;
constexpr double SixHzMs = 1000.0 / 6.0;

bool SameText(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

} // namespace

SimServer::SimServer(RecordFile& record, ServerSettings settings)
    : record(record), settings(std::move(settings)), helper(record, [this](uint32_t page) {
          DeliverClientEvent(HelperModule::FinishedEventName, page, nullptr, 0);
      }) {}

void SimServer::AddConnection(std::shared_ptr<Connection> connection) {
    auto client = std::make_shared<Client>();
    client->connection = connection;
    {
        std::lock_guard<std::mutex> guard(lock);
        client->number = nextClientNumber++;
        clients.push_back(client);
    }
    record.Write(client->number, -1, "connected",
                 std::string("Transport=") + connection->KindName());
    std::thread(&SimServer::ReadLoop, this, client).detach();
}

void SimServer::ReadLoop(std::shared_ptr<Client> client) {
    Bytes pending;
    size_t start = 0;
    std::vector<uint8_t> buffer(65536);
    size_t got = 0;
    bool framing = true;
    while (framing && client->connection->ReadSome(buffer.data(), buffer.size(), got)) {
        pending.insert(pending.end(), buffer.begin(), buffer.begin() + got);
        while (pending.size() - start >= 4) {
            uint32_t size = ReadU32(pending.data() + start);
            if (size < RequestHeaderSize || size > MaxPacketSize) {
                record.Write(client->number, -1, "bad-packet", "Size=" + std::to_string(size));
                client->connection->Close();
                framing = false;
                break;
            }
            if (pending.size() - start < size)
                break;
            Bytes packet(pending.begin() + start, pending.begin() + start + size);
            start += size;
            std::lock_guard<std::mutex> guard(lock);
            OnPacket(*client, packet);
        }
        if (start > 0) {
            pending.erase(pending.begin(), pending.begin() + start);
            start = 0;
        }
    }
    client->connection->Close();
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto it = clients.begin(); it != clients.end(); ++it) {
            if (*it == client) {
                clients.erase(it);
                break;
            }
        }
        changed.notify_all();
    }
    record.Write(client->number, -1, "disconnected", "");
}

void SimServer::Send(Client& client, const Bytes& message, const std::string& fields,
                     bool recordIt) {
    if (recordIt) {
        std::string text = MessageName(ReadU32(message.data() + 8));
        if (!fields.empty())
            text += " " + fields;
        record.Write(client.number, -1, "sent", text);
    }
    client.connection->Send(message);
}

void SimServer::SendException(Client& client, uint32_t exception, uint32_t sendId, uint32_t index) {
    record.Write(client.number, -1, "exception",
                 "Exception=" + std::to_string(exception) + " SendID=" + std::to_string(sendId) +
                     " Index=" + std::to_string(index));
    client.connection->Send(MakeExceptionMessage(exception, sendId, index));
}

void SimServer::DeliverClientEvent(const std::string& name, uint32_t data, Client* sender,
                                   uint32_t senderEventId) {
    for (auto& client : clients) {
        if (!client->opened)
            continue;
        for (const auto& [groupId, events] : client->groups) {
            for (uint32_t eventId : events) {
                auto mapped = client->eventNames.find(eventId);
                if (mapped == client->eventNames.end())
                    continue;
                bool match = name.empty() ? client.get() == sender && eventId == senderEventId
                                          : SameText(mapped->second, name);
                if (!match)
                    continue;
                Send(*client, MakeEventMessage(groupId, eventId, data),
                     "GroupID=" + std::to_string(groupId) + " EventID=" + std::to_string(eventId) +
                         " Data=" + std::to_string(data) + " Name=" + Quote(mapped->second));
            }
        }
    }
}

void SimServer::SendSystemEvent(const std::string& name, uint32_t data) {
    for (auto& client : clients) {
        if (!client->opened)
            continue;
        for (const auto& [eventId, eventName] : client->systemEvents) {
            if (!SameText(eventName, name))
                continue;
            if (SameText(name, "AircraftLoaded"))
                Send(*client,
                     MakeEventFilenameMessage(NoGroup, eventId, data, settings.aircraftPath),
                     "EventID=" + std::to_string(eventId) +
                         " FileName=" + Quote(settings.aircraftPath));
            else
                Send(*client, MakeEventMessage(NoGroup, eventId, data),
                     "GroupID=" + std::to_string(NoGroup) + " EventID=" + std::to_string(eventId) +
                         " Data=" + std::to_string(data) + " Name=" + Quote(eventName),
                     !SameText(name, "6Hz") && !SameText(name, "Frame"));
        }
    }
}

void SimServer::SetSim(bool running) {
    settings.simRunning = running;
    SendSystemEvent("Sim", running ? 1 : 0);
}

void SimServer::SetAircraft(const std::string& path) {
    settings.aircraftPath = path;
    SendSystemEvent("AircraftLoaded", 0);
}

void SimServer::DoFrame(double nowMs) {
    float frameRate = settings.frameMs ? 1000.0f / float(settings.frameMs) : 0.0f;
    for (auto& client : clients) {
        if (!client->opened)
            continue;
        for (const auto& [eventId, eventName] : client->systemEvents) {
            if (!SameText(eventName, "Frame"))
                continue;
            if (settings.frameAsEvent)
                Send(*client, MakeEventMessage(NoGroup, eventId, 0), "", false);
            else
                Send(*client, MakeEventFrameMessage(NoGroup, eventId, frameRate, 1.0f), "", false);
        }
        for (auto it = client->dataRequests.begin(); it != client->dataRequests.end();) {
            SendData(*client, it->first, it->second, nowMs);
            if (it->second.period == 1 && it->second.sent)
                it = client->dataRequests.erase(it);
            else
                ++it;
        }
    }
}

void SimServer::SendData(Client& client, uint32_t requestId, DataRequest& request, double nowMs) {
    if (request.period == 4 && request.sent && nowMs - request.lastSentMs < 1000.0)
        return;
    auto define = client.defines.find(request.defineId);
    if (define == client.defines.end() || define->second.empty())
        return;
    Bytes values;
    std::string text;
    for (const auto& field : define->second) {
        auto value = settings.values.find(field.name);
        std::string valueText = value == settings.values.end() ? "" : value->second;
        EncodeValue(field.type, valueText, values);
        text += " " + Quote(field.name) + "=" + Quote(valueText);
    }
    if ((request.flags & 1) && request.sent && values == request.last)
        return;
    request.last = values;
    request.sent = true;
    request.lastSentMs = nowMs;
    Send(client,
         MakeSimObjectDataMessage(requestId, request.objectId, request.defineId, request.flags,
                                  uint32_t(define->second.size()), values),
         "RequestID=" + std::to_string(requestId) +
             " DefineID=" + std::to_string(request.defineId) +
             " Count=" + std::to_string(define->second.size()) + text);
}

void SimServer::DoSixHz() {
    SendSystemEvent("6Hz", 0);
}

int SimServer::Run() {
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    auto msSince = [&start](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(t - start).count();
    };
    double nextFrame = 0;
    double nextSixHz = 0;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::lock_guard<std::mutex> guard(lock);
        if (quitting)
            break;
        double now = msSince(Clock::now());
        if (settings.frameMs > 0 && now >= nextFrame) {
            DoFrame(record.ElapsedMs());
            nextFrame += settings.frameMs;
            if (nextFrame < now)
                nextFrame = now + settings.frameMs;
        }
        if (now >= nextSixHz) {
            DoSixHz();
            nextSixHz += SixHzMs;
            if (nextSixHz < now)
                nextSixHz = now + SixHzMs;
        }
    }
    // Give the clients a moment to read QUIT, then end every stream.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::unique_lock<std::mutex> guard(lock);
    for (auto& client : clients)
        client->connection->Close();
    changed.wait_for(guard, std::chrono::seconds(2), [this] { return clients.empty(); });
    record.Write(0, -1, "exit", "");
    return 0;
}

} // namespace standin
