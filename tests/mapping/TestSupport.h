#pragma once

#include "common/RecordingTarget.h"
#include "common/TempFolder.h"

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Installs a fresh logger with a recording target at the Trace level.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();

    std::vector<std::pair<int, std::string>> Lines() const;
    std::vector<std::string> LinesAt(int level) const;
    bool Contains(int level, const std::string& text) const;
    void ClearLines() { target_->Clear(); }

private:
    std::shared_ptr<RecordingTarget> target_;
};

// A folder of its own below the system's temporary folder, removed at the end.
class ScratchFolder {
public:
    ~ScratchFolder();

    std::filesystem::path Path(const std::string& fileName) const {
        return std::filesystem::path(folder_.Path()) / fileName;
    }
    // Writes the bytes as they are and returns the file's wide path.
    std::wstring Write(const std::string& fileName, const std::string& bytes) const;
    static std::string Read(const std::wstring& path);

private:
    TempFolder folder_;
};
