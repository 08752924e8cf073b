#include "SimServer.h"

#include "ReceivedMessages.h"

#include <cstdlib>
#include <sstream>

namespace standin {

namespace {

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return "";
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool ParseU32(const std::string& text, uint32_t& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (*end != '\0' || parsed > 0xFFFFFFFFull)
        return false;
    value = uint32_t(parsed);
    return true;
}

} // namespace

bool SimServer::RunCommand(const std::string& line) {
    std::unique_lock<std::mutex> guard(lock);
    bool ok = RunCommandLocked(guard, Trim(line));
    if (!ok)
        record.Write(0, -1, "command-error", Quote(line));
    return ok;
}

bool SimServer::RunCommandLocked(std::unique_lock<std::mutex>& guard, const std::string& line) {
    record.Write(0, -1, "command", Quote(line));
    std::istringstream words(line);
    std::string command;
    words >> command;
    std::string rest;
    std::getline(words, rest);
    rest = Trim(rest);
    std::istringstream args(rest);
    std::string a, b, c;
    args >> a >> b >> c;
    uint32_t n = 0, m = 0, k = 0;

    if (command == "wait-open") {
        if (!ParseU32(a, n))
            return false;
        changed.wait(guard, [&] { return openCount >= int(n) || quitting; });
        return true;
    }
    if (command == "wait-request") {
        n = 1;
        if (a.empty() || (!b.empty() && !ParseU32(b, n)))
            return false;
        changed.wait(guard, [&] { return requestCounts[a] >= int(n) || quitting; });
        return true;
    }
    if (command == "sim") {
        if (!ParseU32(a, n) || n > 1)
            return false;
        SetSim(n == 1);
        return true;
    }
    if (command == "aircraft") {
        if (rest.empty())
            return false;
        SetAircraft(rest);
        return true;
    }
    if (command == "set") {
        size_t equals = rest.find('=');
        if (equals == std::string::npos || Trim(rest.substr(0, equals)).empty())
            return false;
        settings.values[Trim(rest.substr(0, equals))] = Trim(rest.substr(equals + 1));
        return true;
    }
    if (command == "frame-ms") {
        if (!ParseU32(a, n))
            return false;
        settings.frameMs = n;
        return true;
    }
    if (command == "event") {
        if (a.empty() || (!b.empty() && !ParseU32(b, n)))
            return false;
        SendSystemEvent(a, n);
        return true;
    }
    if (command == "clientevent") {
        if (a.empty() || (!b.empty() && !ParseU32(b, n)))
            return false;
        DeliverClientEvent(a, n, nullptr, 0);
        return true;
    }
    if (command == "exception") {
        if (!ParseU32(a, n) || (!b.empty() && !ParseU32(b, m)) || (!c.empty() && !ParseU32(c, k)))
            return false;
        for (auto& client : clients)
            SendException(*client, n, b.empty() ? client->lastSendId : m, k);
        return true;
    }
    if (command == "refuse" || command == "accept") {
        uint32_t number = RequestNumberOf(a);
        if (number == 0)
            return false;
        if (command == "accept") {
            refused.erase(number);
            return true;
        }
        n = ExcBadRequest;
        if (!b.empty() && !ParseU32(b, n))
            return false;
        refused[number] = n;
        return true;
    }
    if (command == "helper") {
        if (a != "hold" && a != "answer")
            return false;
        helper.SetHold(a == "hold");
        return true;
    }
    if (command == "raw") {
        Bytes bytes;
        if (!ParseHex(rest, bytes) || bytes.empty())
            return false;
        for (auto& client : clients) {
            record.Write(client->number, -1, "sent",
                         "RAW Bytes=" + ToHex(bytes.data(), bytes.size()));
            client->connection->Send(bytes);
        }
        return true;
    }
    if (command == "packet") {
        if (!ParseU32(a, n) || n < 12 || n > 0x1000000 || !ParseU32(b, m))
            return false;
        Bytes bytes(n, 0);
        for (int i = 0; i < 4; ++i) {
            bytes[i] = uint8_t(n >> (8 * i));
            bytes[4 + i] = uint8_t(5 >> (8 * i));
            bytes[8 + i] = uint8_t(m >> (8 * i));
        }
        for (auto& client : clients) {
            record.Write(client->number, -1, "sent",
                         "PACKET Size=" + std::to_string(n) + " ID=" + std::to_string(m));
            client->connection->Send(bytes);
        }
        return true;
    }
    if (command == "disconnect") {
        for (auto& client : clients)
            client->connection->Close();
        return true;
    }
    if (command == "quit") {
        for (auto& client : clients)
            Send(*client, MakeQuitMessage(), "");
        quitting = true;
        changed.notify_all();
        return true;
    }
    return false;
}

} // namespace standin
