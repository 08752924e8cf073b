#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Splits text at any of the delimiter characters. Runs of delimiters count as
// one separator and leading ones are skipped, so no part is empty. With a
// limit, the last part takes the whole rest of the text; 0 means no limit.
std::vector<std::string> SplitAny(const std::string& text, size_t limit,
                                  const std::string& delimiters);

// True when the whole text reads as an unsigned number in the given base
// (leading white space, an optional sign and, in base 16, an optional "0x"
// prefix allowed) without overflow; false when nothing or only part converts.
bool IsNumber(const std::string& text, int base);

// The text between the first and the last character that is not a space
// (0x20; tabs are kept). Throws std::out_of_range when the text holds nothing
// but spaces.
std::string Trim(const std::string& text);
