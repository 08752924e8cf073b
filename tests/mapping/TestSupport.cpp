#include "TestSupport.h"

#include <windows.h>

#include <fstream>
#include <sstream>

LogCapture::LogCapture() : target_(std::make_shared<RecordingTarget>()) {
    gLogger = MakeLogger();
    gLogger->AddTarget("record", target_);
    gLogger->SetTargetLevel("record", BKFLog::LevelTrace);
}

LogCapture::~LogCapture() {
    gLogger.reset();
}

std::vector<std::pair<int, std::string>> LogCapture::Lines() const {
    std::vector<std::pair<int, std::string>> result;
    for (const auto& line : target_->Lines())
        result.emplace_back(line.level, line.text);
    return result;
}

std::vector<std::string> LogCapture::LinesAt(int level) const {
    std::vector<std::string> result;
    for (const auto& line : target_->Lines()) {
        if (line.level == level)
            result.push_back(line.text);
    }
    return result;
}

bool LogCapture::Contains(int level, const std::string& text) const {
    for (const auto& line : target_->Lines()) {
        if (line.level == level && line.text == text)
            return true;
    }
    return false;
}

ScratchFolder::~ScratchFolder() {
    // A test may leave a read-only file behind: make it removable first.
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(folder_.Path()), ignored))
        SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
}

std::wstring ScratchFolder::Write(const std::string& fileName, const std::string& bytes) const {
    const auto path = Path(fileName);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.wstring();
}

std::string ScratchFolder::Read(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
