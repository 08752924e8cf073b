#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace standin {

// The record a test reads: one line per decoded request or other event, flushed at once.
class RecordFile {
public:
    RecordFile();
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    bool Open(const std::wstring& path);
    // "<ms> <client> <sendid> <function> <fields>"; sendId < 0 writes "-".
    void Write(int client, long long sendId, const std::string& function,
               const std::string& fields);
    double ElapsedMs() const;

private:
    std::mutex lock;
    FILE* file = nullptr;
    std::chrono::steady_clock::time_point start;
};

} // namespace standin
