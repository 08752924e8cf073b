#pragma once

#include "RecordFile.h"

#include <cstddef>
#include <cstdint>

namespace standin {

// Decodes the registration message the helper read from a command page and records
// one "helper-registration" line per custom event it announces, or one
// "helper-message-error" line when the payload is not such a message.
void RecordRegistrations(RecordFile& record, uint32_t page, const uint8_t* payload, size_t length);

} // namespace standin
