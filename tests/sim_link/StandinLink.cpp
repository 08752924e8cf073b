#include "StandinLink.h"

#include "common/TempFolder.h"
#include "simconnect/SimConnect.h"

#include <fstream>
#include <sstream>

namespace {

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

} // namespace

StandinLink::StandinLink(const std::vector<std::wstring>& extraArgs, const std::string& script)
    : standin(extraArgs, script) {}

StandinLink::~StandinLink() {
    for (HANDLE handle : handles)
        SimConnect_Close(handle);
}

HANDLE StandinLink::Connect() {
    TempFolder folder;
    std::wstring pipe = standin.PipePath().substr(std::wstring(L"\\\\.\\pipe\\").size());
    {
        // Read after the documents folders' files, it sets every key the pipe
        // open uses: a file another test leaves there changes nothing here.
        std::ofstream config((folder.Path() + L"\\SimConnect.cfg").c_str(), std::ios::binary);
        config << "[SimConnect]\nProtocol=Pipe\nAddress=.\nPort=" << Narrow(pipe) << "\n";
    }
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(folder.Path().c_str());
    HANDLE handle = nullptr;
    HRESULT result = SimConnect_Open(&handle, "sim_link test", nullptr, 0, nullptr, 0);
    SetCurrentDirectoryW(previous);
    if (FAILED(result))
        return nullptr;
    handles.push_back(handle);
    return handle;
}

void StandinLink::Close(HANDLE handle) {
    for (auto it = handles.begin(); it != handles.end(); ++it) {
        if (*it == handle) {
            handles.erase(it);
            SimConnect_Close(handle);
            return;
        }
    }
}

bool StandinLink::Sync(HANDLE handle) {
    unsigned id = nextSyncId++;
    if (FAILED(SimConnect_RequestSystemState(handle, id, "Sim")))
        return false;
    return standin.WaitForRecord("RequestSystemState RequestID=" + std::to_string(id) + " ");
}

std::vector<RecordedRequest> StandinLink::Requests(const std::string& function, int client) const {
    std::vector<RecordedRequest> requests;
    std::istringstream lines(standin.Record());
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string ms, clientText, sendText, name;
        if (!(words >> ms >> clientText >> sendText >> name) || sendText == "-")
            continue;
        RecordedRequest request;
        request.client = std::stoi(clientText);
        request.sendId = static_cast<unsigned>(std::stoul(sendText));
        request.function = name;
        std::getline(words, request.fields);
        if (!request.fields.empty() && request.fields[0] == ' ')
            request.fields.erase(0, 1);
        if ((function.empty() || function == name) && (client == 0 || client == request.client))
            requests.push_back(request);
    }
    return requests;
}

std::vector<std::string> StandinLink::Fields(const std::string& function, int client) const {
    std::vector<std::string> fields;
    for (const RecordedRequest& request : Requests(function, client))
        fields.push_back(request.fields);
    return fields;
}

std::shared_ptr<RecordingTarget> InstallRecordingLogger() {
    gLogger = MakeLogger();
    auto target = std::make_shared<RecordingTarget>();
    gLogger->AddTarget("test", target);
    gLogger->SetLevel(4);
    return target;
}

std::vector<std::string> LogTexts(const RecordingTarget& target, int level) {
    std::vector<std::string> texts;
    for (const auto& line : target.Lines())
        if (level < 0 || line.level == level)
            texts.push_back(line.text);
    return texts;
}

bool HasLogLine(const RecordingTarget& target, const std::string& text) {
    for (const auto& line : target.Lines())
        if (line.text == text)
            return true;
    return false;
}
