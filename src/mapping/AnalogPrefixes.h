#pragma once

#include <list>
#include <string>

// Command name prefixes of analog inputs ("POT_", "ENC_"): such commands run
// only their once binding, never a press or release binding.
extern std::list<std::string> AnalogPrefixes;
