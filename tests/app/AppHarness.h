// Runs the real program under Wine for end-to-end tests: a private copy of the
// .exe in a fresh folder, the stand-in simulator on its own pipe, emulated USB
// serial devices, and readers for the log, DeviceMapping.ini and the stand-in's
// record.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "EmulatedDevice.h"
#include "StandinHarness.h"

#include <gtest/gtest.h>

namespace e2e {

// --- small helpers -----------------------------------------------------------

// Polls until the condition holds; true when it did within the time.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 20000, int pollMs = 50);
// Polls until the count has not changed for quietMs (measured on a monotonic clock);
// false when it still changes after timeoutMs.
bool WaitUntilQuiet(const std::function<size_t()>& count, int quietMs, int timeoutMs = 15000);

std::string Narrow(const std::wstring& text); // UTF-8
std::wstring Wide(const std::string& text);   // from UTF-8
std::string Lower(std::string text);

bool FileExists(const std::wstring& path);
// Writes the bytes as they are, creating the folders on the way.
void WriteTextFile(const std::wstring& path, const std::string& text);
std::vector<std::string> SplitLines(const std::string& text);
size_t CountOf(const std::string& text, const std::string& needle);

// Folder of the test executable (bin/), where the program and the tools lie.
std::wstring BinFolder();
// <LocalAppData>\Brackenfold MSFS Device Interface of the Wine prefix.
std::wstring PreferencesFolder();

// --- INI files the program writes -------------------------------------------

struct IniSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
    std::string Get(const std::string& key) const; // empty when absent
    bool Has(const std::string& key) const;
};
std::vector<IniSection> ParseIni(const std::string& text);
// The first device section with that model and unit id.
std::optional<IniSection> FindDeviceSection(const std::vector<IniSection>& sections,
                                            const std::string& model, const std::string& id);
std::optional<IniSection> FindSection(const std::vector<IniSection>& sections,
                                      const std::string& name);

// --- the stand-in's record ---------------------------------------------------

struct Transmission {
    uint32_t data = 0;
    uint32_t flags = 0;
};
// TransmitClientEvent requests for the client event of that name, in order.
std::vector<Transmission> Transmissions(const std::string& record, const std::string& name);
// Record lines of one function ("SubscribeToSystemEvent", ...), in order.
std::vector<std::string> RecordLines(const std::string& record, const std::string& function);
// The value of Field=... in a record line ("" when absent; quotes removed).
std::string RecordField(const std::string& line, const std::string& field);

// --- emulated devices ----------------------------------------------------------

// The one emulator daemon of this test process.
devemu::DeviceEmulator& Emulator();
// "####Brackenfold#<model>#<unit id>#<version>#<hex id>".
std::string Identity(const std::string& model, int unitId, const std::string& version,
                     const std::string& hexId);

// One emulated device on COM<com>, USB id 32B6:0001, identity every second; plugged
// at once unless told otherwise. Each plug starts with no received lines.
class Device {
public:
    Device(int com, const std::string& identity, bool plug = true);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    void Plug();
    void Unplug();
    bool Plugged() const;
    void Send(const std::string& line);
    std::vector<std::string> Lines();
    size_t Count(const std::string& line);
    // Waits until the device has received the line at least `count` times.
    bool WaitForCount(const std::string& line, size_t count, int timeoutMs = 20000);
    // Host lines beginning with "<" (LED lines), in order.
    std::vector<std::string> LedLines();
    std::string Port() const { return "\\\\.\\COM" + std::to_string(com_); }
    // The port as the device list shows it.
    std::string ShownPort() const { return "COM" + std::to_string(com_); }

private:
    int com_;
    std::string identity_;
    std::unique_ptr<devemu::EmulatedDevice> device_;
};

// --- the program ------------------------------------------------------------------

struct LogLine {
    std::string level; // "Error", "Warning", "Info", ...
    std::string text;  // after the time and level prefix
};

struct ProgramSetup {
    std::string globalMap;                                 // beside the .exe
    std::string userMap;                                   // preferences folder
    std::map<std::string, std::string> globalAircraftMaps; // folder -> text
    std::map<std::string, std::string> userAircraftMaps;   // folder -> text ("CommandMaping.ini")
    std::map<std::wstring, std::string> otherPreferenceFiles; // relative path -> text
    std::string deviceMapping;                                // DeviceMapping.ini, none when empty
    std::vector<std::wstring> standinArgs;
    bool simulator = true; // false: SimConnect.cfg names a pipe nobody serves
    bool elevated = false; // started with the elevated token
};

class ProgramRun {
public:
    explicit ProgramRun(ProgramSetup setup);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    standin_test::StandinProcess& Standin() { return *standin_; }
    std::string Record() const { return standin_ ? standin_->Record() : std::string(); }
    void SimCommand(const std::string& line) { standin_->Command(line); }
    size_t TransmissionCount(const std::string& name) const;
    bool WaitForTransmissions(const std::string& name, size_t count, int timeoutMs = 20000) const;

    const std::wstring& ExeFolder() const { return folder_; }
    std::wstring ExePath() const { return folder_ + L"\\BrackenfoldDeviceInterface.exe"; }

    // The main window, waiting for it; null when none came.
    HWND MainWindow(int timeoutMs = 30000);
    DWORD ProgramPid();

    std::string Log() const;
    std::vector<LogLine> LogLines() const;
    bool LogExists() const;
    bool WaitForLog(const std::string& text, int timeoutMs = 20000) const;
    // Waits until `count` log lines contain the text.
    bool WaitForLogCount(const std::string& text, size_t count, int timeoutMs = 20000) const;
    size_t CountLog(const std::string& text) const;
    // The log has lines containing these texts in this order (other lines between them).
    bool LogInOrder(const std::vector<std::string>& texts) const;

    std::string DeviceMappingText() const;
    std::vector<IniSection> DeviceMapping() const { return ParseIni(DeviceMappingText()); }

    // Exit code of the program, or -1 when it has not ended within the time.
    int WaitExit(int timeoutMs = 20000);
    bool Ended();
    void Kill();

private:
    void Start(bool elevated);

    std::wstring folder_;
    std::unique_ptr<standin_test::StandinProcess> standin_;
    PROCESS_INFORMATION launcher_ = {};
    DWORD programPid_ = 0;
    bool exited_ = false;
    int exitCode_ = -1;
};

// Ends processes of earlier runs of the program that are still around (their
// windows are found by class).
void EndStrayPrograms();

// One program run with one navigator on COM21, shared by the tests of a suite
// (each start costs seconds under Wine). Suite is the deriving test class, so every
// suite has a run of its own; its static Start() makes the run with StartRun. The
// run starts before the suite's first test, and anew before a test when an earlier
// one ended the program.
template <typename Suite> class NavigatorRun : public ::testing::Test {
protected:
    static void StartRun(const ProgramSetup& setup, int unitId = 1,
                         const std::string& version = "1.1", const std::string& hexId = "0A") {
        run = std::make_unique<ProgramRun>(setup);
        main = run->MainWindow();
        nav = std::make_unique<Device>(21,
                                       Identity("Brackenfold-Wayfinder4", unitId, version, hexId));
    }
    static void StopRun() {
        run.reset();
        nav.reset();
        main = nullptr;
    }
    static void TearDownTestSuite() { StopRun(); }
    void SetUp() override {
        if (!run || run->Ended()) {
            StopRun();
            Suite::Start();
        }
        ASSERT_TRUE(run);
        ASSERT_NE(main, nullptr) << "the main window did not appear";
    }

    // Lines sent before this have been handled once it returns (the map binds
    // MARK to EV_MARK), and so have the events they sent to the simulator.
    static void Sync() {
        size_t marks = run->TransmissionCount("EV_MARK");
        nav->Send("MARK=1");
        ASSERT_TRUE(run->WaitForTransmissions("EV_MARK", marks + 1)) << "the device went quiet";
    }
    // True when the event goes quiet: not sent for several "6Hz" periods in a row.
    static bool Silent(const std::string& event) {
        return WaitUntilQuiet([&] { return run->TransmissionCount(event); }, 1200);
    }

    static inline std::unique_ptr<ProgramRun> run;
    static inline HWND main = nullptr;
    static inline std::unique_ptr<Device> nav;
};

} // namespace e2e
