#pragma once

#include "SimServer.h"

#include <string>
#include <vector>

namespace standin {

struct Options {
    bool pipe = true;
    std::wstring pipeName = L"Microsoft Flight Simulator\\SimConnect";
    bool ipv4 = true;
    bool ipv6 = true;
    unsigned short ipv4Port = 0;
    unsigned short ipv6Port = 0;
    bool registry = true;
    std::wstring readyFile;
    std::wstring recordFile = L"sim_standin_record.txt";
    std::wstring scriptFile;
    ServerSettings server;
};

// Parses the arguments after the program name; false with a message on a bad one.
bool ParseOptions(const std::vector<std::wstring>& args, Options& options, std::string& error);
const char* UsageText();

} // namespace standin
