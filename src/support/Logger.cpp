#include "support/Logger.h"

#include <cstdio>
#include <vector>

std::unique_ptr<BKFLog::Logger> gLogger;

namespace BKFLog {

const char* LevelName(LogLevel level) {
    switch (level) {
    case LevelError:
        return "Error";
    case LevelWarning:
        return "Warning";
    case LevelInfo:
        return "Info";
    case LevelDebug:
        return "Debug";
    case LevelTrace:
        return "Trace";
    default:
        return "UNKNOWN";
    }
}

void Logger::AddTarget(std::string name, std::shared_ptr<ILogTarget> target) {
    std::lock_guard<std::mutex> lock(mutex_);
    targets_.emplace(std::move(name), TargetEntry{LevelInfo, std::move(target)});
    NoteLevels();
}

void Logger::RemoveTarget(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    targets_.erase(name);
    NoteLevels();
}

void Logger::SetTargetLevel(const std::string& name, int level) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = targets_.find(name);
    if (it != targets_.end())
        it->second.maxLevel = level;
    NoteLevels();
}

void Logger::SetLevel(int level) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& entry : targets_)
        entry.second.maxLevel = level;
    NoteLevels();
}

void Logger::NoteLevels() {
    long long most = kNoTarget;
    for (const auto& entry : targets_)
        if (entry.second.maxLevel > most)
            most = entry.second.maxLevel;
    mostVerbose_.store(most, std::memory_order_relaxed);
}

bool Logger::Accepts(int level) const {
    // A target writes a line when its level is not above the target's: some
    // target does exactly when the most verbose one does.
    return level <= mostVerbose_.load(std::memory_order_relaxed);
}

void Logger::LogV(int level, const char* format, va_list args) {
    // A line no target writes is not formatted either.
    if (!Accepts(level))
        return;
    // The measuring pass consumes its own copy so the list is intact for the
    // formatting pass.
    va_list measureArgs;
    va_copy(measureArgs, args);
    int needed = std::vsnprintf(nullptr, 0, format, measureArgs);
    va_end(measureArgs);

    if (needed < 0) {
        Dispatch(level, "");
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    Dispatch(level, buffer.data());
}

void Logger::Dispatch(int level, const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& entry : targets_) {
        if (level > entry.second.maxLevel)
            continue;
        entry.second.target->Write(level, text);
    }
}

#define BKF_LOG_FRONT_END(name, level)                                                             \
    void Logger::name(const char* format, ...) {                                                   \
        va_list args;                                                                              \
        va_start(args, format);                                                                    \
        LogV(level, format, args);                                                                 \
        va_end(args);                                                                              \
    }

BKF_LOG_FRONT_END(Error, LevelError)
BKF_LOG_FRONT_END(Warning, LevelWarning)
BKF_LOG_FRONT_END(Info, LevelInfo)
BKF_LOG_FRONT_END(Debug, LevelDebug)
BKF_LOG_FRONT_END(Trace, LevelTrace)
#undef BKF_LOG_FRONT_END

void Logger::Log(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogV(level, format, args);
    va_end(args);
}

} // namespace BKFLog

std::unique_ptr<BKFLog::Logger> MakeLogger() {
    return std::make_unique<BKFLog::Logger>();
}

bool LogAccepts(int level) {
    return gLogger && gLogger->Accepts(level);
}

void LogTrace(const char* format, ...) {
    if (!gLogger)
        return;
    va_list args;
    va_start(args, format);
    gLogger->LogV(BKFLog::LevelTrace, format, args);
    va_end(args);
}
