#pragma once

#include "Connection.h"
#include "HelperModule.h"
#include "RecordFile.h"
#include "RequestDecoder.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace standin {

struct ServerSettings {
    std::string aircraftPath = "SimObjects\\Airplanes\\Standin\\aircraft.cfg";
    bool simRunning = true;
    unsigned frameMs = 50;
    bool frameAsEvent = false;
    std::map<std::string, std::string> values;
};

// Exception numbers the server sends.
enum StandinException : uint32_t {
    ExcBadRequest = 1,
    ExcUnknownId = 2,
    ExcBadArgument = 3,
};

// The simulator's side of every connection: decodes requests, keeps each client's
// subscriptions, sends events, states and data, and hosts the helper module.
class SimServer {
public:
    SimServer(RecordFile& record, ServerSettings settings);

    // Takes over a connected stream and starts reading it on a thread of its own.
    void AddConnection(std::shared_ptr<Connection> connection);
    // The simulation loop (frames, 6Hz, data requests) until "quit"; returns the exit code.
    int Run();
    // One script or stdin command; false when it does not parse. May block (wait-*).
    bool RunCommand(const std::string& line);

private:
    struct DataField {
        std::string name;
        uint32_t type;
    };
    struct DataRequest {
        uint32_t defineId = 0;
        uint32_t objectId = 0;
        uint32_t period = 0;
        uint32_t flags = 0;
        Bytes last;
        bool sent = false;
        double lastSentMs = 0;
    };
    struct ClientDatum {
        uint32_t offset;
        uint32_t size;
    };
    struct Client {
        int number = 0;
        std::shared_ptr<Connection> connection;
        bool opened = false;
        uint32_t lastSendId = 0;
        std::map<uint32_t, std::string> eventNames;
        std::map<uint32_t, std::set<uint32_t>> groups;
        std::map<uint32_t, std::string> systemEvents;
        std::map<uint32_t, std::vector<DataField>> defines;
        std::map<uint32_t, DataRequest> dataRequests;
        std::map<uint32_t, std::string> clientDataNames;
        std::map<uint32_t, std::vector<ClientDatum>> clientDataDefines;
    };
    struct Refusal {
        uint32_t exception = 0; // 0: accepted
        uint32_t index = 0;
    };

    void ReadLoop(std::shared_ptr<Client> client);
    void OnPacket(Client& client, const Bytes& packet);
    std::string Annotate(const Client& client, const Request& request) const;
    Refusal Handle(Client& client, const Request& request);
    Refusal HandleDataRequest(Client& client, const Request& request);
    Refusal HandleSetClientData(Client& client, const Request& request);
    void Send(Client& client, const Bytes& message, const std::string& fields, bool record = true);
    void SendException(Client& client, uint32_t exception, uint32_t sendId, uint32_t index);
    void DeliverClientEvent(const std::string& name, uint32_t data, Client* sender,
                            uint32_t senderEventId);
    void SendSystemEvent(const std::string& name, uint32_t data);
    void SetSim(bool running);
    void SetAircraft(const std::string& path);
    void DoFrame(double nowMs);
    void DoSixHz();
    void SendData(Client& client, uint32_t requestId, DataRequest& request, double nowMs);
    bool RunCommandLocked(std::unique_lock<std::mutex>& guard, const std::string& line);

    RecordFile& record;
    ServerSettings settings;
    HelperModule helper;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::shared_ptr<Client>> clients;
    int nextClientNumber = 1;
    int openCount = 0;
    std::map<std::string, int> requestCounts;
    std::map<uint32_t, uint32_t> refused; // request number -> exception
    bool quitting = false;
};

} // namespace standin
