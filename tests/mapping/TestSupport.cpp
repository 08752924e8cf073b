#include "TestSupport.h"

#include <windows.h>

#include <fstream>
#include <sstream>

LogCapture::LogCapture() : target_(std::make_shared<RecordingLogTarget>()) {
    gLogger = MakeLogger();
    gLogger->AddTarget("record", target_);
    gLogger->SetTargetLevel("record", BKFLog::LevelTrace);
}

LogCapture::~LogCapture() {
    gLogger.reset();
}

std::vector<std::string> LogCapture::LinesAt(int level) const {
    std::vector<std::string> result;
    for (const auto& line : target_->lines) {
        if (line.first == level)
            result.push_back(line.second);
    }
    return result;
}

bool LogCapture::Contains(int level, const std::string& text) const {
    for (const auto& line : target_->lines) {
        if (line.first == level && line.second == text)
            return true;
    }
    return false;
}

ScratchFolder::ScratchFolder() {
    static int counter = 0;
    root_ =
        std::filesystem::temp_directory_path() /
        ("bkf_mapping_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter));
    std::filesystem::create_directories(root_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(root_, ignored))
        SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(root_, ignored);
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
