#pragma once

#include <cstddef>
#include <string>

// The name under which a device command is bound, with its edge.
struct CommandKey {
    static constexpr int Press = 0;   // written with a "+" suffix
    static constexpr int Release = 1; // written with a "-" suffix
    static constexpr int Once = 2;    // no suffix

    std::string name;
    int kind = Once;

    bool operator==(const CommandKey& other) const {
        return kind == other.kind && name == other.name;
    }
    bool operator!=(const CommandKey& other) const { return !(*this == other); }
    bool operator<(const CommandKey& other) const {
        if (name != other.name)
            return name < other.name;
        return kind < other.kind;
    }
};

struct CommandKeyHash {
    size_t operator()(const CommandKey& key) const;
};
