#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

// A fresh folder under the Windows temp folder, removed with its contents at the end.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, base);
        static unsigned counter = 0;
        for (;;) {
            path_ = std::wstring(base) + L"bkf-test-" + std::to_wstring(GetCurrentProcessId()) +
                    L"-" + std::to_wstring(++counter);
            if (CreateDirectoryW(path_.c_str(), nullptr))
                break;
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(path_), ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Without a trailing separator.
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};
