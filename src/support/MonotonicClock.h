#pragma once

// Monotonic time for code that decides by how much time has passed. Such code
// takes a clock: the program hands it MonotonicNowNs, a test a clock it moves.

#include <cstdint>
#include <functional>

// Nanoseconds since an arbitrary origin; never goes back.
using MonotonicClock = std::function<int64_t()>;

// The steady clock of the process.
int64_t MonotonicNowNs();
