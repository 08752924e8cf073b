#include "sim_link/CustomEventMapper.h"

#include "sim_link/CommandPageClient.h"
#include "sim_link/RegistrationMessage.h"
#include "support/Logger.h"

#include <exception>

const std::set<std::string> MappedPrefixes = {"H:", "L:"};

namespace {

// The budget of one message: the names of the next rule at their largest (length
// word, text, terminating zero, alignment) and 8 bytes for every rule already in.
constexpr size_t MessageBudget = 4064;
constexpr size_t RuleStringAllowance = 16;
constexpr size_t RuleAllowance = 8;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

bool HasMappedPrefix(const std::string& name) {
    for (const auto& prefix : MappedPrefixes) {
        if (StartsWith(name, prefix))
            return true;
    }
    return false;
}

CustomEventMapper::CustomEventMapper(CommandPageClient& pages) : pages(pages) {}

std::string CustomEventMapper::MapEventName(const std::string& name) {
    if (!HasMappedPrefix(name))
        return name;
    if (StartsWith(name, "L:"))
        return MapLName(name.substr(2));
    if (StartsWith(name, "H:"))
        return MapHName(name.substr(2));
    return MapOther(name);
}

std::string CustomEventMapper::MapLName(const std::string& name) {
    auto rule = std::make_shared<MappingRule>();
    rule->kind = MappingKindL;
    rule->name = name;
    return AddRule(rule)->mappedName;
}

std::string CustomEventMapper::MapHName(const std::string& name) {
    auto rule = std::make_shared<MappingRule>();
    rule->kind = MappingKindH;
    rule->name = name;
    return AddRule(rule)->mappedName;
}

std::string CustomEventMapper::MapOther(const std::string& name) {
    auto rule = std::make_shared<MappingRule>();
    rule->kind = MappingKindOther;
    rule->name = name;
    return AddRule(rule)->mappedName;
}

CustomEventMapper::RuleMap& CustomEventMapper::RulesForKind(MappingKind kind) {
    switch (kind) {
    case MappingKindOther:
        return otherRules;
    case MappingKindL:
        return lRules;
    case MappingKindH:
        return hRules;
    }
    std::terminate();
}

std::string CustomEventMapper::MakeMappedName(const std::string& name) {
    std::string mapped = MappedPrefix;
    for (char c : name)
        mapped.push_back(c == '.' || c == ':' ? '_' : c);
    return mapped;
}

std::shared_ptr<CustomEventMapper::MappingRule>
CustomEventMapper::AddRule(std::shared_ptr<MappingRule> rule) {
    RuleMap& rules = RulesForKind(rule->kind);
    auto known = rules.find(rule->name);
    if (known != rules.end())
        return known->second;

    std::string base = MakeMappedName(rule->name);
    std::string candidate = base;
    for (unsigned counter = 0; byMappedName.count(candidate) != 0; ++counter)
        candidate = base + std::to_string(counter);
    rule->mappedName = candidate;
    rules.emplace(rule->name, rule);
    byMappedName.emplace(candidate, rule);
    pending.push_back(rule);
    return rule;
}

void CustomEventMapper::RequeueAll() {
    pending.clear();
    for (const auto& entry : byMappedName)
        pending.push_back(entry.second);
}

namespace {

// Packs rules from the head of the list by the budget, at most limit of them.
template <typename Rules>
std::unique_ptr<RegistrationMessage> PackMessage(const Rules& rules, size_t limit) {
    auto message = std::make_unique<RegistrationMessage>();
    for (const auto& rule : rules) {
        if (message->Count() >= limit)
            break;
        size_t needed = message->Size() + rule->name.size() + rule->mappedName.size() +
                        RuleStringAllowance + RuleAllowance * message->Count();
        if (needed > MessageBudget)
            break;
        message->Add(rule->kind, rule->name, rule->mappedName);
    }
    message->Finish();
    return message;
}

} // namespace

void CustomEventMapper::DropUnsendableHead() {
    const auto& rule = pending.front();
    gLogger->Error("custom event %s for \"%s\" does not fit a command page; its registration "
                   "is dropped",
                   rule->mappedName.c_str(), rule->name.c_str());
    pending.pop_front();
}

bool CustomEventMapper::SendPendingRegistrations() {
    while (!pending.empty()) {
        auto message = PackMessage(pending, pending.size());
        // A message of a few very long names can come out larger than a page
        // holds: it goes with fewer rules instead.
        while (message->Count() > 0 && message->Length() > CommandPageClient::PayloadCapacity)
            message = PackMessage(pending, message->Count() - 1);
        if (message->Count() == 0) {
            // Not even alone does the first rule fit: it would block every rule
            // behind it for good.
            DropUnsendableHead();
            continue;
        }
        if (!pages.Transmit(message->Data(), message->Length()))
            return false;
        gLogger->Trace("sent %d byte registration for %d events to helper",
                       static_cast<int>(message->Length()), static_cast<int>(message->Count()));
        for (size_t i = 0; i < message->Count(); ++i)
            pending.pop_front();
    }
    return true;
}
