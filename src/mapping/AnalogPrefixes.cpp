#include "mapping/AnalogPrefixes.h"

std::list<std::string> AnalogPrefixes = {"POT_", "ENC_"};
