#pragma once

// Gives every event name written with "L:" or "H:" a custom event name the
// simulator accepts, and tells the helper module which name each one stands for.

#include <cstdint>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

class CommandPageClient;

// 0 other (name kept whole), 1 "L:" stripped, 2 "H:" stripped.
using MappingKind = uint32_t;
constexpr MappingKind MappingKindOther = 0;
constexpr MappingKind MappingKindL = 1;
constexpr MappingKind MappingKindH = 2;

extern const std::set<std::string> MappedPrefixes;

// True when the name begins with one of MappedPrefixes (case-sensitive).
bool HasMappedPrefix(const std::string& name);

class CustomEventMapper {
public:
    struct MappingRule {
        MappingKind kind = MappingKindOther;
        std::string name;
        std::string mappedName;
    };
    using RuleMap = std::unordered_map<std::string, std::shared_ptr<MappingRule>>;

    static constexpr const char* MappedPrefix = "BKF.MAPPED.";

    explicit CustomEventMapper(CommandPageClient& pages);
    CustomEventMapper(const CustomEventMapper&) = delete;
    CustomEventMapper& operator=(const CustomEventMapper&) = delete;

    // The name to map as a simulator event: unchanged without a prefix, else the
    // custom event name that stands for it.
    std::string MapEventName(const std::string& name);
    // Queues every rule again, for a new connection.
    void RequeueAll();
    // Sends pending rules in as many messages as there are free pages; true when
    // nothing is left pending.
    bool SendPendingRegistrations();

    size_t PendingCount() const { return pending.size(); }

private:
    std::string MapLName(const std::string& name);
    std::string MapHName(const std::string& name);
    std::string MapOther(const std::string& name);
    std::shared_ptr<MappingRule> AddRule(std::shared_ptr<MappingRule> rule);
    static std::string MakeMappedName(const std::string& name);
    RuleMap& RulesForKind(MappingKind kind);
    // How many rules from the head of pending go into the next message; 0 when the
    // first one cannot fit a page at all.
    size_t RulesForNextMessage() const;
    void DropUnsendableHead();

    CommandPageClient& pages;
    RuleMap byMappedName;
    RuleMap otherRules;
    RuleMap lRules;
    RuleMap hRules;
    std::list<std::shared_ptr<MappingRule>> pending;
};
