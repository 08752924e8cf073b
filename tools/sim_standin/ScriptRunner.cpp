#include "ScriptRunner.h"

#include <cstdlib>
#include <thread>
#include <vector>

namespace standin {

namespace {

void RunScript(SimServer& server, RecordFile& record, std::vector<std::string> lines) {
    for (const std::string& raw : lines) {
        std::string line = raw;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        char* end = nullptr;
        unsigned long delay = std::strtoul(line.c_str() + first, &end, 10);
        if (end == line.c_str() + first || (*end != ' ' && *end != '\t')) {
            record.Write(0, -1, "script-error", Quote(line));
            continue;
        }
        if (delay)
            Sleep(DWORD(delay));
        server.RunCommand(end);
    }
}

void ReadStdin(SimServer& server) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE)
        return;
    std::string pending;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        pending.append(buffer, got);
        size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.find_first_not_of(" \t") != std::string::npos)
                server.RunCommand(line);
        }
    }
}

} // namespace

bool StartScript(SimServer& server, RecordFile& record, const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        return false;
    std::vector<std::string> lines;
    std::string line;
    int c;
    while ((c = fgetc(file)) != EOF) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(char(c));
        }
    }
    if (!line.empty())
        lines.push_back(line);
    fclose(file);
    std::thread(RunScript, std::ref(server), std::ref(record), std::move(lines)).detach();
    return true;
}

void StartStdinCommands(SimServer& server) {
    std::thread(ReadStdin, std::ref(server)).detach();
}

} // namespace standin
