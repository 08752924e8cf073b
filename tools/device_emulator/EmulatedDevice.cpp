#include "EmulatedDevice.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace devemu {
namespace {

const auto kPollInterval = std::chrono::milliseconds(10);

std::wstring Widen(const std::string& text) {
    std::wstring out;
    for (unsigned char c : text)
        out += static_cast<wchar_t>(c);
    return out;
}

std::string ToHex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

void CheckText(const std::string& text) {
    if (text.find_first_of("\r\n") != std::string::npos) {
        throw std::invalid_argument("device emulator: use SendRaw for text with line ends");
    }
}

} // namespace

EmulatedDevice::EmulatedDevice(DeviceEmulator& emulator) : emulator_(emulator) {}

EmulatedDevice::~EmulatedDevice() {
    try {
        Unplug();
    } catch (const std::exception&) {
    }
}

void EmulatedDevice::Plug(int comNumber, uint16_t vid, uint16_t pid, const std::string& serial,
                          const std::string& identity, int identityIntervalMs) {
    PlugOptions options;
    options.comNumber = comNumber;
    options.vid = vid;
    options.pid = pid;
    options.serial = serial;
    options.identity = identity;
    options.identityIntervalMs = identityIntervalMs;
    Plug(options);
}

void EmulatedDevice::Plug(const PlugOptions& options) {
    if (plugged_)
        throw std::logic_error("device emulator: device already plugged");
    CheckText(options.identity);
    if (options.serial.find_first_of(" \t\r\n") != std::string::npos) {
        throw std::invalid_argument("device emulator: a serial number has no blanks");
    }
    options_ = options;
    if (options_.serial.empty())
        options_.serial = "EMU" + std::to_string(options_.comNumber);
    entry_ = options_.registryEntry.deviceId.empty()
                 ? MakeUsbSerialEntry(options_.comNumber, options_.vid, options_.pid,
                                      Widen(options_.serial))
                 : options_.registryEntry;

    char ids[32];
    snprintf(ids, sizeof ids, "%04X %04X", options_.vid, options_.pid);
    ptyPath_ =
        emulator_.Request("PLUG " + Com() + " " + ids + " " + options_.serial + " " +
                          std::to_string(options_.identityIntervalMs) + " " + options_.identity);
    plugged_ = true;
    emulator_.NotePlugged(this);
    RegisterDevice(entry_);
}

void EmulatedDevice::Unplug() {
    if (!plugged_)
        return;
    plugged_ = false;
    emulator_.NoteUnplugged(this);
    // The registry entry goes first: a COM link whose pty is gone still opens.
    std::exception_ptr failure;
    try {
        UnregisterDevice(entry_);
    } catch (...) {
        failure = std::current_exception();
    }
    emulator_.Request("UNPLUG " + Com());
    if (failure)
        std::rethrow_exception(failure);
}

void EmulatedDevice::RequirePlugged() const {
    if (!plugged_)
        throw std::logic_error("device emulator: device not plugged");
}

double EmulatedDevice::SendTime(const std::string& reply) const {
    return std::stod(reply);
}

void EmulatedDevice::SetIdentity(const std::string& identity, int intervalMs) {
    RequirePlugged();
    CheckText(identity);
    emulator_.Request("IDENTITY " + Com() + " " + std::to_string(intervalMs) + " " + identity);
}

void EmulatedDevice::StopIdentity() {
    RequirePlugged();
    emulator_.Request("SILENT " + Com());
}

double EmulatedDevice::SendLine(const std::string& text) {
    RequirePlugged();
    CheckText(text);
    return SendTime(emulator_.Request("SEND " + Com() + " " + text));
}

double EmulatedDevice::SendRaw(const std::string& bytes) {
    RequirePlugged();
    return SendTime(emulator_.Request("RAW " + Com() + " " + ToHex(bytes)));
}

double EmulatedDevice::SendOverlongLine(size_t length, char fill) {
    RequirePlugged();
    if (fill == '\n' || fill == '\r' || fill == ' ' || fill == '\0') {
        throw std::invalid_argument("device emulator: bad fill character");
    }
    return SendTime(emulator_.Request("LONG " + Com() + " " + std::to_string(length) + " " +
                                      std::string(1, fill)));
}

double EmulatedDevice::SendBurst(int count, const std::string& prefix) {
    RequirePlugged();
    CheckText(prefix);
    return SendTime(
        emulator_.Request("BURST " + Com() + " " + std::to_string(count) + " " + prefix));
}

std::vector<ReceivedLine> EmulatedDevice::ReceivedLinesWithTime(size_t from) {
    RequirePlugged();
    std::istringstream reply(emulator_.Request("LINES " + Com() + " " + std::to_string(from)));
    size_t total = 0;
    reply >> total;
    std::vector<ReceivedLine> lines;
    std::string item;
    while (reply >> item) {
        const size_t colon = item.find(':');
        if (colon == std::string::npos)
            throw std::runtime_error("device emulator: bad LINES reply");
        lines.push_back({std::stod(item.substr(0, colon)), FromHex(item.substr(colon + 1))});
    }
    return lines;
}

std::vector<std::string> EmulatedDevice::ReceivedLines() {
    std::vector<std::string> texts;
    for (ReceivedLine& line : ReceivedLinesWithTime())
        texts.push_back(std::move(line.text));
    return texts;
}

bool EmulatedDevice::WaitForLine(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    size_t seen = 0;
    for (;;) {
        for (const ReceivedLine& line : ReceivedLinesWithTime(seen)) {
            if (line.text == text)
                return true;
            ++seen;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool EmulatedDevice::WaitForLineCount(size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (std::stoul(Status()["lines_received"]) >= count)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

void EmulatedDevice::ClearReceived() {
    RequirePlugged();
    emulator_.Request("CLEAR " + Com());
}

std::map<std::string, std::string> EmulatedDevice::Status() {
    RequirePlugged();
    std::istringstream reply(emulator_.Request("STATUS " + Com()));
    std::map<std::string, std::string> fields;
    std::string item;
    while (reply >> item) {
        const size_t eq = item.find('=');
        if (eq != std::string::npos)
            fields[item.substr(0, eq)] = item.substr(eq + 1);
    }
    return fields;
}

bool EmulatedDevice::WaitForHostOpen(bool open, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::string wanted = open ? "1" : "0";
    for (;;) {
        if (Status()["host_open"] == wanted)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::wstring EmulatedDevice::PortName() const {
    return L"COM" + std::to_wstring(options_.comNumber);
}

std::wstring EmulatedDevice::DevicePath() const {
    return L"\\\\.\\" + PortName();
}

} // namespace devemu
