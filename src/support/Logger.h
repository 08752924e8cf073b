#pragma once

#include <atomic>
#include <cstdarg>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#define BKF_PRINTF_FORMAT(fmt, first) __attribute__((format(gnu_printf, fmt, first)))

namespace BKFLog {

// A smaller number is more severe.
using LogLevel = int;
constexpr LogLevel LevelError = 0;
constexpr LogLevel LevelWarning = 1;
constexpr LogLevel LevelInfo = 2;
constexpr LogLevel LevelDebug = 3;
constexpr LogLevel LevelTrace = 4;

// "Error", "Warning", "Info", "Debug", "Trace", or "UNKNOWN" for any other level.
const char* LevelName(LogLevel level);

// Where finished log lines go. Targets are created with std::make_shared of
// their concrete class and held through std::shared_ptr<ILogTarget>.
class ILogTarget {
public:
    virtual void Write(int level, const char* text) = 0;
    virtual void Flush() = 0;

protected:
    ~ILogTarget() = default;
};

struct TargetEntry {
    int maxLevel;
    std::shared_ptr<ILogTarget> target;
};

class Logger {
public:
    Logger() = default;
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // A name already present keeps its target and level; the new one is released.
    void AddTarget(std::string name, std::shared_ptr<ILogTarget> target);
    void RemoveTarget(const std::string& name);
    void SetTargetLevel(const std::string& name, int level);
    // Sets the level of every target present now; later targets start at Info.
    void SetLevel(int level);

    // True when some target would write a line of this level now. Takes no
    // lock: a caller asks it before doing work that only such a line needs.
    bool Accepts(int level) const;

    void LogV(int level, const char* format, va_list args);
    void Dispatch(int level, const char* text);

    void Error(const char* format, ...) BKF_PRINTF_FORMAT(2, 3);
    void Warning(const char* format, ...) BKF_PRINTF_FORMAT(2, 3);
    void Info(const char* format, ...) BKF_PRINTF_FORMAT(2, 3);
    void Debug(const char* format, ...) BKF_PRINTF_FORMAT(2, 3);
    void Trace(const char* format, ...) BKF_PRINTF_FORMAT(2, 3);
    void Log(int level, const char* format, ...) BKF_PRINTF_FORMAT(3, 4);

private:
    // Called under the mutex after every change of the targets or their levels.
    void NoteLevels();

    std::mutex mutex_;
    std::unordered_map<std::string, TargetEntry> targets_;
    // The most verbose level any target writes; below every int without targets.
    static constexpr long long kNoTarget = std::numeric_limits<long long>::min();
    std::atomic<long long> mostVerbose_{kNoTarget};
};

} // namespace BKFLog

// The one logger of the process, set by program entry before anything logs.
extern std::unique_ptr<BKFLog::Logger> gLogger;

std::unique_ptr<BKFLog::Logger> MakeLogger();

// Trace line on gLogger; does nothing while there is no logger.
void LogTrace(const char* format, ...) BKF_PRINTF_FORMAT(1, 2);

// gLogger is set and accepts the level.
bool LogAccepts(int level);
