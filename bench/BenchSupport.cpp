#include "BenchSupport.h"

#include <algorithm>
#include <fstream>
#include <filesystem>

Percentiles Summarise(std::vector<double> samples) {
    if (samples.empty())
        return {0, 0};
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) {
        size_t index = static_cast<size_t>(q * (samples.size() - 1) + 0.5);
        return samples[std::min(index, samples.size() - 1)];
    };
    return {at(0.5), at(0.99)};
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

ChildProcess::ChildProcess(const std::wstring& commandLine, const std::wstring& folder) {
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    started_ = CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                              folder.c_str(), &startup, &process_) != FALSE;
}

ChildProcess::~ChildProcess() {
    if (!started_)
        return;
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, 5000);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

std::wstring SiblingProgram(const wchar_t* fileName) {
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring path = own;
    return path.substr(0, path.find_last_of(L"\\/") + 1) + fileName;
}

std::string WaitForKey(const std::wstring& file, const std::string& key, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        std::ifstream in{std::filesystem::path(file)};
        std::string word, rest;
        while (in >> word) {
            std::getline(in, rest);
            if (word == key)
                return rest.substr(rest.find_first_not_of(' '));
        }
        Sleep(20);
    }
    return std::string();
}
