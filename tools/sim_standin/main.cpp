// The stand-in simulator: serves SimConnect clients over the pipe and TCP, plays the
// helper module, and records every request it decodes.
#include "Listeners.h"
#include "Options.h"
#include "RecordFile.h"
#include "RegistryPorts.h"
#include "ScriptRunner.h"
#include "SimServer.h"

#include "support/TextConversion.h"

#include <shellapi.h>

#include <cstdio>
#include <memory>

using namespace standin;

namespace {

std::vector<std::wstring> Arguments() {
    std::vector<std::wstring> args;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; list && i < count; ++i)
        args.emplace_back(list[i]);
    if (list)
        LocalFree(list);
    return args;
}

bool WriteReadyFile(const std::wstring& path, const std::string& text) {
    std::wstring temporary = path + L".tmp";
    FILE* file = _wfopen(temporary.c_str(), L"wb");
    if (!file)
        return false;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
    return MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

[[noreturn]] void Fail(int code, const std::string& message) {
    fprintf(stderr, "sim_standin: %s\n", message.c_str());
    fflush(stderr);
    ExitProcess(UINT(code));
}

} // namespace

int main() {
    Options options;
    std::string error;
    if (!ParseOptions(Arguments(), options, error)) {
        fprintf(stderr, "sim_standin: %s\n%s", error.c_str(), UsageText());
        return 1;
    }
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        Fail(1, "WSAStartup failed");

    static RecordFile record;
    if (!record.Open(options.recordFile))
        Fail(1, "cannot write the record file " + WideToUtf8(options.recordFile));
    static SimServer server(record, options.server);

    std::string ready = "pid " + std::to_string(GetCurrentProcessId()) + "\n";
    static std::unique_ptr<PipeListener> pipe;
    if (options.pipe) {
        std::wstring name = L"\\\\.\\pipe\\" + options.pipeName;
        pipe = std::make_unique<PipeListener>(server, name);
        if (!pipe->Start(error))
            Fail(2, WideToUtf8(name) + ": " + error);
        ready += "pipe " + WideToUtf8(name) + "\n";
    }
    static RegistryPorts registry;
    static TcpListener ipv4(server, AF_INET);
    static TcpListener ipv6(server, AF_INET6);
    struct Family {
        bool wanted;
        TcpListener& listener;
        unsigned short port;
        const char* label;
        const char* valueName;
    } families[] = {
        {options.ipv4, ipv4, options.ipv4Port, "ipv4", "SimConnect_Port_IPv4"},
        {options.ipv6, ipv6, options.ipv6Port, "ipv6", "SimConnect_Port_IPv6"},
    };
    for (auto& family : families) {
        if (!family.wanted)
            continue;
        if (!family.listener.Start(family.port, error)) {
            fprintf(stderr, "sim_standin: %s listener: %s\n", family.label, error.c_str());
            record.Write(0, -1, "listen-error",
                         std::string("Transport=") + family.label + " Error=" + Quote(error));
            continue;
        }
        unsigned short port = family.listener.Port();
        ready += std::string(family.label) + " " + std::to_string(port) + "\n";
        record.Write(0, -1, "listening",
                     std::string("Transport=") + family.label + " Port=" + std::to_string(port));
        if (options.registry && !registry.Write(family.valueName, port))
            fprintf(stderr, "sim_standin: cannot write the registry value %s\n", family.valueName);
    }
    if (!options.readyFile.empty() && !WriteReadyFile(options.readyFile, ready))
        Fail(1, "cannot write the ready file " + WideToUtf8(options.readyFile));
    printf("ready\n");
    fflush(stdout);

    if (!options.scriptFile.empty() && !StartScript(server, record, options.scriptFile)) {
        registry.Remove();
        Fail(1, "cannot read the script " + WideToUtf8(options.scriptFile));
    }
    StartStdinCommands(server);

    int code = server.Run();
    registry.Remove();
    fflush(stdout);
    // Reader and listener threads are still blocked in their calls: end the process
    // without running destructors under them.
    ExitProcess(UINT(code));
}
