#pragma once

#include "support/Logger.h"

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Keeps every line the logger dispatches, with its level.
class RecordingLogTarget : public BKFLog::ILogTarget {
public:
    void Write(int level, const char* text) override { lines.emplace_back(level, text); }
    void Flush() override {}

    std::vector<std::pair<int, std::string>> lines;
};

// Installs a fresh logger with a recording target at the Trace level.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();

    const std::vector<std::pair<int, std::string>>& Lines() const { return target_->lines; }
    std::vector<std::string> LinesAt(int level) const;
    bool Contains(int level, const std::string& text) const;
    void ClearLines() { target_->lines.clear(); }

private:
    std::shared_ptr<RecordingLogTarget> target_;
};

// A folder of its own below the system's temporary folder, removed at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();

    std::filesystem::path Path(const std::string& fileName) const { return root_ / fileName; }
    // Writes the bytes as they are and returns the file's wide path.
    std::wstring Write(const std::string& fileName, const std::string& bytes) const;
    static std::string Read(const std::wstring& path);

private:
    std::filesystem::path root_;
};
