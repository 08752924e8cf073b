#pragma once

#include <deque>
#include <set>
#include <string>

// Device model numbers: 1 to 16 for the known models, 17 for any other model text.
constexpr int kUnknownDeviceModel = 17;
constexpr int kYokeDeviceModel = 10;

// The model number of a device's model text (exact, case-sensitive match).
int ModelFromIdentity(const std::string& modelText);

// The hardware name a model's command-map sections are filed under; empty when
// the model has no family (its own model text is then used).
std::string FamilyIdentity(int model);

// The panel functions the model may serve, in ascending order.
const std::set<int>& AllowedFunctions(int model);

// Whether two models compete for the same panel functions.
bool ModelsInterchangeable(int a, int b);

// Groups of models that share panel functions when defaults are chosen.
extern const std::deque<std::set<int>> InterchangeableModelGroups;
