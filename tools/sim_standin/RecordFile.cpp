#include "RecordFile.h"

namespace standin {

RecordFile::RecordFile() : start(std::chrono::steady_clock::now()) {}

RecordFile::~RecordFile() {
    if (file)
        fclose(file);
}

bool RecordFile::Open(const std::wstring& path) {
    file = _wfopen(path.c_str(), L"wb");
    return file != nullptr;
}

double RecordFile::ElapsedMs() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void RecordFile::Write(int client, long long sendId, const std::string& function,
                       const std::string& fields) {
    std::string line;
    char prefix[64];
    snprintf(prefix, sizeof prefix, "%.3f %d ", ElapsedMs(), client);
    line = prefix;
    line += sendId < 0 ? std::string("-") : std::to_string(sendId);
    line += ' ';
    line += function;
    if (!fields.empty()) {
        line += ' ';
        line += fields;
    }
    line += '\n';
    std::lock_guard<std::mutex> guard(lock);
    if (!file)
        return;
    fwrite(line.data(), 1, line.size(), file);
    fflush(file);
}

} // namespace standin
