#include "sim_link/RegistrationMessage.h"

using namespace bkf::helper;

RegistrationMessage::RegistrationMessage() : builder(InitialSize) {}

void RegistrationMessage::Add(uint32_t kind, const std::string& name,
                              const std::string& mappedName) {
    auto mappedText = builder.CreateString(mappedName);
    auto nameText = builder.CreateString(name);
    EventRegistrationBuilder registration(builder);
    registration.add_name(nameText);
    registration.add_mappedName(mappedText);
    registration.add_kind(static_cast<uint8_t>(kind));
    registrations.push_back(registration.Finish());
}

void RegistrationMessage::Finish() {
    auto vector = builder.CreateVector(registrations);
    EventRegistrationListBuilder list(builder);
    list.add_registrations(vector);
    auto payload = list.Finish();
    HelperMessageBuilder message(builder);
    message.add_payload(payload.Union());
    message.add_payload_type(HelperPayload_EventRegistrationList);
    message.add_version(Version);
    builder.Finish(message.Finish());
}
