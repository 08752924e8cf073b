#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Median and 99th percentile of a sample, in the sample's unit.
struct Percentiles {
    double median;
    double p99;
};
Percentiles Summarise(std::vector<double> samples);

// Seconds on the performance counter.
double Now();

// A child process started with CreateProcessW, ended when this object goes.
class ChildProcess {
public:
    ChildProcess(const std::wstring& commandLine, const std::wstring& folder);
    ~ChildProcess();
    bool Started() const { return started_; }

private:
    bool started_ = false;
    PROCESS_INFORMATION process_{};
};

// The Windows path of a program in the folder of this executable.
std::wstring SiblingProgram(const wchar_t* fileName);

// Waits until the file holds a line "<key> <value>" and returns the value.
std::string WaitForKey(const std::wstring& file, const std::string& key, DWORD timeoutMs);
