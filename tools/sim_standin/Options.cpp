#include "Options.h"

#include "support/TextConversion.h"

#include <cwchar>

namespace standin {

namespace {

bool ParsePort(const std::wstring& text, unsigned short& port) {
    wchar_t* end = nullptr;
    unsigned long value = std::wcstoul(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0' || value > 65535)
        return false;
    port = static_cast<unsigned short>(value);
    return true;
}

} // namespace

const char* UsageText() {
    return "usage: sim_standin.exe [--pipe <name>] [--no-pipe] [--ipv4-port <n>] "
           "[--ipv6-port <n>]\n"
           "  [--no-ipv4] [--no-ipv6] [--no-registry] [--ready-file <path>] [--record <path>]\n"
           "  [--script <path>] [--aircraft <path>] [--sim 0|1] [--frame-ms <n>]\n"
           "  [--frame-message event|frame] [--value <name>=<value>]...\n";
}

bool ParseOptions(const std::vector<std::wstring>& args, Options& options, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        auto value = [&](std::wstring& out) {
            if (i + 1 >= args.size()) {
                error = "missing value after " + WideToUtf8(arg);
                return false;
            }
            out = args[++i];
            return true;
        };
        std::wstring text;
        if (arg == L"--no-pipe") {
            options.pipe = false;
        } else if (arg == L"--no-ipv4") {
            options.ipv4 = false;
        } else if (arg == L"--no-ipv6") {
            options.ipv6 = false;
        } else if (arg == L"--no-registry") {
            options.registry = false;
        } else if (arg == L"--pipe") {
            if (!value(options.pipeName))
                return false;
        } else if (arg == L"--ipv4-port" || arg == L"--ipv6-port") {
            if (!value(text))
                return false;
            if (!ParsePort(text, arg == L"--ipv4-port" ? options.ipv4Port : options.ipv6Port)) {
                error = "bad port: " + WideToUtf8(text);
                return false;
            }
        } else if (arg == L"--ready-file") {
            if (!value(options.readyFile))
                return false;
        } else if (arg == L"--record") {
            if (!value(options.recordFile))
                return false;
        } else if (arg == L"--script") {
            if (!value(options.scriptFile))
                return false;
        } else if (arg == L"--aircraft") {
            if (!value(text))
                return false;
            options.server.aircraftPath = WideToUtf8(text);
        } else if (arg == L"--sim") {
            if (!value(text))
                return false;
            if (text != L"0" && text != L"1") {
                error = "--sim takes 0 or 1";
                return false;
            }
            options.server.simRunning = text == L"1";
        } else if (arg == L"--frame-ms") {
            if (!value(text))
                return false;
            wchar_t* end = nullptr;
            unsigned long ms = std::wcstoul(text.c_str(), &end, 10);
            if (text.empty() || *end != L'\0' || ms > 60000) {
                error = "bad --frame-ms: " + WideToUtf8(text);
                return false;
            }
            options.server.frameMs = unsigned(ms);
        } else if (arg == L"--frame-message") {
            if (!value(text))
                return false;
            if (text != L"event" && text != L"frame") {
                error = "--frame-message takes event or frame";
                return false;
            }
            options.server.frameAsEvent = text == L"event";
        } else if (arg == L"--value") {
            if (!value(text))
                return false;
            std::string pair = WideToUtf8(text);
            size_t equals = pair.find('=');
            if (equals == std::string::npos || equals == 0) {
                error = "--value takes <name>=<value>";
                return false;
            }
            options.server.values[pair.substr(0, equals)] = pair.substr(equals + 1);
        } else {
            error = "unknown option: " + WideToUtf8(arg);
            return false;
        }
    }
    return true;
}

} // namespace standin
