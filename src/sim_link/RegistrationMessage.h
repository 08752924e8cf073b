#pragma once

// One registration message for the helper module: the custom events of a batch of
// rules, laid out in a fixed construction order so the bytes never vary.

#include "sim_link/HelperMessage_generated.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class RegistrationMessage {
public:
    static constexpr uint8_t Version = 1;
    static constexpr size_t InitialSize = 4096;

    RegistrationMessage();

    // Bytes the builder holds so far.
    size_t Size() const { return builder.GetSize(); }
    size_t Count() const { return registrations.size(); }
    void Add(uint32_t kind, const std::string& name, const std::string& mappedName);
    // Closes the message; Data and Length are valid after it.
    void Finish();
    const uint8_t* Data() const { return builder.GetBufferPointer(); }
    size_t Length() const { return builder.GetSize(); }

private:
    flatbuffers::FlatBufferBuilder builder;
    std::vector<flatbuffers::Offset<bkf::helper::EventRegistration>> registrations;
};
