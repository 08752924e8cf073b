#pragma once

#include "SimServer.h"

#include <string>
#include <vector>

namespace standin {

// Keeps a free instance of the named pipe listening and hands every connected instance
// to the server. Start fails when the pipe name is served by another process.
class PipeListener {
public:
    PipeListener(SimServer& server, std::wstring name) : server(server), name(std::move(name)) {}
    bool Start(std::string& error);

private:
    HANDLE CreateInstance(bool first);
    void Loop(std::vector<HANDLE> instances);

    SimServer& server;
    std::wstring name;
};

// A TCP listener on the loopback address of one family (AF_INET or AF_INET6).
class TcpListener {
public:
    TcpListener(SimServer& server, int family) : server(server), family(family) {}
    // Port 0 lets the system choose; Port() then tells which.
    bool Start(unsigned short port, std::string& error);
    unsigned short Port() const { return boundPort; }

private:
    void Loop();

    SimServer& server;
    int family;
    SOCKET listener = INVALID_SOCKET;
    unsigned short boundPort = 0;
};

} // namespace standin
