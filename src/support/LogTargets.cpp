#include "support/LogTargets.h"

#include <windows.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

namespace BKFLog {

// libstdc++ opens files through the C runtime, which shares them deny-none, so
// the log can be read while the program writes it.
LogFile::LogFile(const std::wstring& path)
    : stream_(std::filesystem::path(path), std::ios_base::out) {}

LogFile::LogFile(const std::string& path) : stream_(path, std::ios_base::out) {}

LogFile::~LogFile() { stream_.close(); }

void LogFile::Write(int level, const char* text) {
    if (stream_.fail())
        return;

    __time64_t now = _time64(nullptr);
    struct tm local {};
    char timeText[80] = {};
    if (_localtime64_s(&local, &now) == 0)
        std::strftime(timeText, sizeof timeText, "%c", &local);

    char prefix[80];
    std::snprintf(prefix, sizeof prefix, "%s [%8s]: ", timeText, LevelName(level));
    stream_ << prefix << text << std::endl;
}

void LogFile::Flush() { stream_.flush(); }

void Win32DebugLog::Write(int level, const char* text) { OutputDebugStringA(text); }

void Win32DebugLog::Flush() {}

} // namespace BKFLog
