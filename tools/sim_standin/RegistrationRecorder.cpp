#include "RegistrationRecorder.h"

#include "WireFormat.h"
#include "sim_link/HelperMessage_generated.h"

#include <string>

namespace standin {

namespace {

std::string Text(const flatbuffers::String* text) {
    return text ? Quote(text->str()) : "(none)";
}

} // namespace

void RecordRegistrations(RecordFile& record, uint32_t page, const uint8_t* payload, size_t length) {
    using namespace bkf::helper;
    std::string pageField = "Page=" + std::to_string(page);
    flatbuffers::Verifier verifier(payload, length);
    if (length == 0 || !VerifyHelperMessageBuffer(verifier)) {
        record.Write(0, -1, "helper-message-error", pageField + " Reason=\"not a message\"");
        return;
    }
    const HelperMessage* message = GetHelperMessage(payload);
    const EventRegistrationList* list = message->payload_as_EventRegistrationList();
    if (list == nullptr) {
        record.Write(0, -1, "helper-message-error",
                     pageField + " Version=" + std::to_string(message->version()) +
                         " PayloadType=" + std::to_string(message->payload_type()));
        return;
    }
    const auto* registrations = list->registrations();
    size_t count = registrations ? registrations->size() : 0;
    record.Write(0, -1, "helper-message",
                 pageField + " Version=" + std::to_string(message->version()) +
                     " Registrations=" + std::to_string(count));
    for (size_t i = 0; i < count; ++i) {
        const EventRegistration* registration = registrations->Get(static_cast<unsigned>(i));
        record.Write(0, -1, "helper-registration",
                     pageField + " Kind=" + std::to_string(registration->kind()) +
                         " Name=" + Text(registration->name()) +
                         " MappedName=" + Text(registration->mappedName()));
    }
}

} // namespace standin
