#pragma once

#include <windows.h>

#include <cstdint>

// True on Windows NT 6.0 or later.
bool IsVistaOrLater();

// 0 when the process token is elevated, 1 when it is not, E_FAIL when the token
// cannot be read (then *elevated is left alone).
uint32_t IsElevated(bool* elevated = nullptr);

// 0 with *out filled, or E_FAIL.
uint32_t GetElevationType(TOKEN_ELEVATION_TYPE* out);

bool IsWow64();

// IsWow64Process from kernel32, or null where kernel32 lacks it.
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
extern IsWow64ProcessFn pfnIsWow64Process;
