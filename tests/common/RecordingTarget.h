#pragma once

#include "support/Logger.h"

#include <mutex>
#include <string>
#include <vector>

// A log target that keeps every line it is given, for tests.
class RecordingTarget : public BKFLog::ILogTarget {
public:
    struct Line {
        int level;
        std::string text;
        bool operator==(const Line& other) const {
            return level == other.level && text == other.text;
        }
    };

    void Write(int level, const char* text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back({level, text});
    }
    void Flush() override {}

    std::vector<Line> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};
