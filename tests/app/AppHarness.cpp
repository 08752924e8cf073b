#include "app/AppHarness.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <sstream>

namespace e2e {

// --- small helpers -----------------------------------------------------------

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs, int pollMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= DWORD(timeoutMs))
            return false;
        Sleep(DWORD(pollMs));
    }
}

bool WaitUntilQuiet(const std::function<size_t()>& count, int quietMs, int timeoutMs) {
    const ULONGLONG start = GetTickCount64();
    size_t last = count();
    ULONGLONG changed = start;
    for (;;) {
        Sleep(50);
        const ULONGLONG now = GetTickCount64();
        const size_t current = count();
        if (current != last) {
            last = current;
            changed = now;
        } else if (now - changed >= ULONGLONG(quietMs)) {
            return true;
        }
        if (now - start >= ULONGLONG(timeoutMs))
            return false;
    }
}

std::string Narrow(const std::wstring& text) {
    if (text.empty())
        return "";
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text) {
    if (text.empty())
        return L"";
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &out[0], size);
    return out;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteTextFile(const std::wstring& path, const std::string& text) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot write " << Narrow(path);
    DWORD put = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &put, nullptr);
    CloseHandle(file);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

size_t CountOf(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

std::wstring BinFolder() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/"));
}

std::wstring PreferencesFolder() {
    PWSTR base = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &base)))
        folder = std::wstring(base) + L"\\Brackenfold MSFS Device Interface";
    CoTaskMemFree(base);
    return folder;
}

// --- INI files -------------------------------------------------------------------

namespace {

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

std::string IniSection::Get(const std::string& key) const {
    for (const auto& entry : entries)
        if (entry.first == key)
            return entry.second;
    return "";
}

bool IniSection::Has(const std::string& key) const {
    for (const auto& entry : entries)
        if (entry.first == key)
            return true;
    return false;
}

std::vector<IniSection> ParseIni(const std::string& text) {
    std::vector<IniSection> sections;
    for (const std::string& raw : SplitLines(text)) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            sections.push_back({line.substr(1, line.find(']') - 1), {}});
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos || sections.empty())
            continue;
        sections.back().entries.emplace_back(Trim(line.substr(0, equals)),
                                             Trim(line.substr(equals + 1)));
    }
    return sections;
}

std::optional<IniSection> FindDeviceSection(const std::vector<IniSection>& sections,
                                            const std::string& model, const std::string& id) {
    for (const IniSection& section : sections)
        if (section.Get("Model") == model && section.Get("Id") == id)
            return section;
    return std::nullopt;
}

std::optional<IniSection> FindSection(const std::vector<IniSection>& sections,
                                      const std::string& name) {
    for (const IniSection& section : sections)
        if (section.name == name)
            return section;
    return std::nullopt;
}

// --- the stand-in's record -----------------------------------------------------

std::vector<std::string> RecordLines(const std::string& record, const std::string& function) {
    std::vector<std::string> lines;
    for (const std::string& line : SplitLines(record)) {
        std::istringstream fields(line);
        std::string ms, client, sendId, name;
        if (fields >> ms >> client >> sendId >> name && name == function)
            lines.push_back(line);
    }
    return lines;
}

std::string RecordField(const std::string& line, const std::string& field) {
    size_t at = line.find(" " + field + "=");
    if (at == std::string::npos)
        return "";
    at += field.size() + 2;
    if (at < line.size() && line[at] == '"') {
        std::string value;
        for (size_t i = at + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                value.push_back(line[++i]);
                continue;
            }
            if (line[i] == '"')
                break;
            value.push_back(line[i]);
        }
        return value;
    }
    size_t end = line.find(' ', at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::vector<Transmission> Transmissions(const std::string& record, const std::string& name) {
    std::vector<Transmission> found;
    for (const std::string& line : RecordLines(record, "TransmitClientEvent")) {
        if (RecordField(line, "Name") != name)
            continue;
        Transmission transmission;
        transmission.data = uint32_t(std::stoul("0" + RecordField(line, "dwData")));
        transmission.flags = uint32_t(std::stoul("0" + RecordField(line, "Flags")));
        found.push_back(transmission);
    }
    return found;
}

// --- emulated devices ----------------------------------------------------------

namespace {

std::unique_ptr<devemu::DeviceEmulator>& EmulatorSlot() {
    static std::unique_ptr<devemu::DeviceEmulator> emulator;
    return emulator;
}

// Stops the emulator daemon after the last test, before static destruction.
class EmulatorEnvironment : public ::testing::Environment {
public:
    void TearDown() override { EmulatorSlot().reset(); }
};

const ::testing::Environment* const emulatorEnvironment =
    ::testing::AddGlobalTestEnvironment(new EmulatorEnvironment);

} // namespace

devemu::DeviceEmulator& Emulator() {
    if (!EmulatorSlot())
        EmulatorSlot() = std::make_unique<devemu::DeviceEmulator>();
    return *EmulatorSlot();
}

std::string Identity(const std::string& model, int unitId, const std::string& version,
                     const std::string& hexId) {
    return "####Brackenfold#" + model + "#" + std::to_string(unitId) + "#" + version + "#" + hexId;
}

Device::Device(int com, const std::string& identity, bool plug) : com_(com), identity_(identity) {
    if (plug)
        Plug();
}

Device::~Device() {
    try {
        Unplug();
    } catch (...) {
    }
}

void Device::Plug() {
    device_ = std::make_unique<devemu::EmulatedDevice>(Emulator());
    device_->Plug(com_, 0x32B6, 0x0001, "E2E" + std::to_string(com_), identity_, 1000);
}

void Device::Unplug() {
    if (device_ && device_->IsPlugged())
        device_->Unplug();
}

bool Device::Plugged() const {
    return device_ && device_->IsPlugged();
}

void Device::Send(const std::string& line) {
    ASSERT_TRUE(device_) << "COM" << com_ << " was never plugged";
    device_->SendLine(line);
}

std::vector<std::string> Device::Lines() {
    return device_ ? device_->ReceivedLines() : std::vector<std::string>();
}

size_t Device::Count(const std::string& line) {
    std::vector<std::string> lines = Lines();
    return size_t(std::count(lines.begin(), lines.end(), line));
}

bool Device::WaitForCount(const std::string& line, size_t count, int timeoutMs) {
    return WaitUntil([&] { return Count(line) >= count; }, timeoutMs, 100);
}

std::vector<std::string> Device::LedLines() {
    std::vector<std::string> leds;
    for (const std::string& line : Lines())
        if (!line.empty() && line[0] == '<')
            leds.push_back(line);
    return leds;
}

// --- the program ------------------------------------------------------------------

namespace {

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

DWORD WindowPid(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

void TerminatePid(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process)
        return;
    TerminateProcess(process, 99);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

BOOL CALLBACK CollectProgramWindow(HWND window, LPARAM context) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    wchar_t title[128] = {};
    GetWindowTextW(window, title, 128);
    bool mainWindow = wcscmp(className, L"Brackenfold") == 0;
    bool messageBox =
        wcscmp(className, L"#32770") == 0 && wcscmp(title, L"Brackenfold Device Interface") == 0;
    if (mainWindow || messageBox)
        reinterpret_cast<std::vector<DWORD>*>(context)->push_back(WindowPid(window));
    return TRUE;
}

} // namespace

void EndStrayPrograms() {
    std::vector<DWORD> pids;
    EnumWindows(CollectProgramWindow, reinterpret_cast<LPARAM>(&pids));
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    for (DWORD pid : pids)
        if (pid != GetCurrentProcessId())
            TerminatePid(pid);
}

ProgramRun::ProgramRun(ProgramSetup setup) {
    EndStrayPrograms();
    // Starting the emulator removes the devices a crashed test left registered: a
    // port the program saw at start and could not open stays unused for good.
    Emulator();

    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"bkf_e2e_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
              std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(++counter);
    if (!folder_.empty() && folder_.back() == L'\\')
        folder_.pop_back();
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(folder_), ignored);
    if (!CopyFileW((BinFolder() + L"\\BrackenfoldDeviceInterface.exe").c_str(), ExePath().c_str(),
                   FALSE))
        ADD_FAILURE() << "BrackenfoldDeviceInterface.exe is missing beside the test";

    // A clean preferences folder for every run.
    std::wstring prefs = PreferencesFolder();
    std::filesystem::remove_all(std::filesystem::path(prefs), ignored);
    if (!setup.globalMap.empty())
        WriteTextFile(folder_ + L"\\CommandMapping.ini", setup.globalMap);
    if (!setup.userMap.empty())
        WriteTextFile(prefs + L"\\CommandMapping.ini", setup.userMap);
    for (const auto& map : setup.globalAircraftMaps)
        WriteTextFile(folder_ + L"\\Airplanes\\" + Wide(map.first) + L"\\CommandMapping.ini",
                      map.second);
    for (const auto& map : setup.userAircraftMaps)
        WriteTextFile(prefs + L"\\Airplanes\\" + Wide(map.first) + L"\\CommandMaping.ini",
                      map.second);
    for (const auto& file : setup.otherPreferenceFiles)
        WriteTextFile(prefs + L"\\" + file.first, file.second);
    if (!setup.deviceMapping.empty())
        WriteTextFile(prefs + L"\\DeviceMapping.ini", setup.deviceMapping);

    // The program finds its simulator through SimConnect.cfg in its working folder.
    std::string pipeName = "bkf_e2e_nobody_" + Narrow(folder_.substr(folder_.rfind(L'_') + 1)) +
                           std::to_string(GetTickCount());
    if (setup.simulator) {
        standin_ = std::make_unique<standin_test::StandinProcess>(setup.standinArgs);
        if (!standin_->Ready())
            ADD_FAILURE() << "the stand-in simulator did not start";
        pipeName = Narrow(standin_->PipePath().substr(std::wstring(L"\\\\.\\pipe\\").size()));
    }
    WriteTextFile(folder_ + L"\\SimConnect.cfg",
                  "[SimConnect]\r\nProtocol=Pipe\r\nAddress=.\r\nPort=" + pipeName + "\r\n");

    Start(setup.elevated);
}

void ProgramRun::Start(bool elevated) {
    std::wstring commandLine = Quoted(BinFolder() + L"\\run_as_user.exe") +
                               (elevated ? L" --elevated " : L" ") + Quoted(ExePath());
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(),
                        &startup, &launcher_))
        ADD_FAILURE() << "cannot start run_as_user.exe (" << GetLastError() << ")";
}

ProgramRun::~ProgramRun() {
    if (!Ended()) {
        // Esc ends the program in an orderly way; a program that does not react is ended.
        HWND window = FindWindowW(L"Brackenfold", nullptr);
        if (window) {
            PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            PostMessageW(window, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        }
        if (WaitExit(10000) < 0)
            Kill();
    }
    if (launcher_.hProcess) {
        CloseHandle(launcher_.hProcess);
        CloseHandle(launcher_.hThread);
    }
    standin_.reset();
    std::error_code ignored;
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::filesystem::remove_all(std::filesystem::path(folder_), ignored);
        if (!FileExists(folder_))
            break;
        Sleep(100);
    }
}

size_t ProgramRun::TransmissionCount(const std::string& name) const {
    return Transmissions(Record(), name).size();
}

bool ProgramRun::WaitForTransmissions(const std::string& name, size_t count, int timeoutMs) const {
    return WaitUntil([&] { return TransmissionCount(name) >= count; }, timeoutMs, 50);
}

HWND ProgramRun::MainWindow(int timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindWindowW(L"Brackenfold", nullptr);
            return found != nullptr || Ended();
        },
        timeoutMs);
    if (found && !programPid_)
        programPid_ = WindowPid(found);
    return found;
}

DWORD ProgramRun::ProgramPid() {
    if (programPid_ || !launcher_.hProcess)
        return programPid_;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more;
             more = Process32NextW(snapshot, &entry)) {
            if (entry.th32ParentProcessID == launcher_.dwProcessId) {
                programPid_ = entry.th32ProcessID;
                break;
            }
        }
        CloseHandle(snapshot);
    }
    return programPid_;
}

std::string ProgramRun::Log() const {
    return standin_test::ReadFileText(PreferencesFolder() + L"\\BKF_Log.log");
}

bool ProgramRun::LogExists() const {
    return FileExists(PreferencesFolder() + L"\\BKF_Log.log");
}

std::vector<LogLine> ProgramRun::LogLines() const {
    std::vector<LogLine> lines;
    for (const std::string& raw : SplitLines(Log())) {
        size_t open = raw.find(" [");
        size_t close = open == std::string::npos ? open : raw.find("]: ", open);
        if (close == std::string::npos) {
            lines.push_back({"", raw});
            continue;
        }
        lines.push_back({Trim(raw.substr(open + 2, close - open - 2)), raw.substr(close + 3)});
    }
    return lines;
}

size_t ProgramRun::CountLog(const std::string& text) const {
    size_t count = 0;
    for (const LogLine& line : LogLines())
        if (line.text.find(text) != std::string::npos)
            ++count;
    return count;
}

bool ProgramRun::LogInOrder(const std::vector<std::string>& texts) const {
    size_t next = 0;
    for (const LogLine& line : LogLines())
        if (next < texts.size() && line.text.find(texts[next]) != std::string::npos)
            ++next;
    return next == texts.size();
}

bool ProgramRun::WaitForLog(const std::string& text, int timeoutMs) const {
    return WaitForLogCount(text, 1, timeoutMs);
}

bool ProgramRun::WaitForLogCount(const std::string& text, size_t count, int timeoutMs) const {
    return WaitUntil([&] { return CountLog(text) >= count; }, timeoutMs, 100);
}

std::string ProgramRun::DeviceMappingText() const {
    return standin_test::ReadFileText(PreferencesFolder() + L"\\DeviceMapping.ini");
}

bool ProgramRun::Ended() {
    if (exited_)
        return true;
    if (!launcher_.hProcess)
        return true;
    if (WaitForSingleObject(launcher_.hProcess, 0) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(launcher_.hProcess, &code);
    exitCode_ = int(code);
    exited_ = true;
    return true;
}

int ProgramRun::WaitExit(int timeoutMs) {
    WaitUntil([&] { return Ended(); }, timeoutMs, 50);
    return exited_ ? exitCode_ : -1;
}

void ProgramRun::Kill() {
    if (Ended())
        return;
    DWORD pid = ProgramPid();
    if (!pid) {
        HWND window = FindWindowW(L"Brackenfold", nullptr);
        if (window)
            pid = WindowPid(window);
    }
    if (pid)
        TerminatePid(pid);
    if (WaitExit(5000) < 0 && launcher_.hProcess) {
        TerminateProcess(launcher_.hProcess, 98);
        WaitExit(5000);
    }
}

} // namespace e2e
