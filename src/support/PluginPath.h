#pragma once

#include <string>

// Exported so the module that holds this code can be found from its address,
// also when the code is loaded as a library.
extern "C" __declspec(dllexport) void dummy_func();

// The folder of the module that holds this code. Throws std::exception when
// the module or its file name cannot be found.
std::wstring GetPluginPath();

// The part of a path before its last '\' or '/'; the whole path when it has no
// separator; empty for an empty path.
std::wstring DirectoryOf(const std::wstring& path);
