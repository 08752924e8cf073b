#pragma once

#include <cstdint>

// Where a port watch stands. The numbers are the watch's own: the retry record
// keeps them, and the retry rule is a set of them.
enum class WatchState : int32_t {
    Open = 0,             // open, or being opened
    SerialOpenFailed = 1, // the open failed with a serial error
    SystemOpenFailed = 2, // the open failed with a system error
    IdentityTimeout = 3,  // no identity line began within the identity time-out
    IdentityLost = 4,     // identity lines came, then stopped coming
    Failed = 5,           // read or write error, or any other stop of a running device
};
