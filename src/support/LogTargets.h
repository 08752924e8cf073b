#pragma once

#include "support/Logger.h"

#include <fstream>
#include <string>

namespace BKFLog {

// Writes "<local time> [   Label]: text" lines, flushing each one. The file is
// truncated when the target is created; a file that cannot be opened or
// written drops its lines silently.
class LogFile : public ILogTarget {
public:
    explicit LogFile(const std::wstring& path);
    explicit LogFile(const std::string& path);
    virtual ~LogFile();

    void Write(int level, const char* text) override;
    void Flush() override;

private:
    std::ofstream stream_;
};

// Writes the bare text to the debugger output.
class Win32DebugLog : public ILogTarget {
public:
    void Write(int level, const char* text) override;
    void Flush() override;
};

} // namespace BKFLog
